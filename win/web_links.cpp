#include "win/web_links.h"

#include <windows.h>
#include <objbase.h>
#include <process.h>
#include <shellapi.h>

#include "publisher.h"
#include "win/system_functions.h"

namespace {
// The maker's site and the game's page on it.
constexpr const wchar_t* kHomePageAddress = L"" SMORVALA_HOMEPAGE;
constexpr const wchar_t* kGamePageAddress = L"" SMORVALA_GAME_PAGE;

void OpenAddress(const wchar_t* address) {
  const auto initialiseCom = SystemFunction<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
  const auto uninitialiseCom = SystemFunction<decltype(CoUninitialize)>(L"ole32.dll", "CoUninitialize");
  const auto shellExecute = SystemFunction<decltype(ShellExecuteW)>(L"shell32.dll", "ShellExecuteW");
  // The shell's rule for ShellExecute, which may hand the address to COM objects: COM set up on
  // the calling thread as a single-threaded apartment without OLE1's DDE, and ended after.
  const HRESULT com = initialiseCom == nullptr
                          ? E_NOTIMPL
                          : initialiseCom(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (shellExecute != nullptr) shellExecute(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) uninitialiseCom();
}
}  // namespace

void __cdecl OpenHomePage(void*) { OpenAddress(kHomePageAddress); }

void __cdecl OpenGamePage(void*) { OpenAddress(kGamePageAddress); }

void StartOpeningHomePage() { _beginthread(OpenHomePage, 0, nullptr); }

void StartOpeningGamePage() { _beginthread(OpenGamePage, 0, nullptr); }
