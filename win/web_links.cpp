#include "win/web_links.h"

#include <windows.h>
#include <process.h>
#include <shellapi.h>

namespace {
// The maker's site and the game's page on it.
constexpr const wchar_t* kHomePageAddress = L"http://www.example.com/";
constexpr const wchar_t* kGamePageAddress = L"http://www.example.com/morvala.htm";

void OpenAddress(const wchar_t* address) {
  ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
}
}  // namespace

void __cdecl OpenHomePage(void*) { OpenAddress(kHomePageAddress); }

void __cdecl OpenGamePage(void*) { OpenAddress(kGamePageAddress); }

void StartOpeningHomePage() { _beginthread(OpenHomePage, 0, nullptr); }

void StartOpeningGamePage() { _beginthread(OpenGamePage, 0, nullptr); }
