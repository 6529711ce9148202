// Functions of the system's DLLs that the program needs only some time after it has started:
// the sounds (winmm) and the web links (shell32, ole32). Each DLL is loaded when one of its
// functions is first asked for, so that starting the program does not wait for it.
#ifndef SMORVALA_SYSTEM_FUNCTIONS_H
#define SMORVALA_SYSTEM_FUNCTIONS_H

#include <windows.h>

// The function `name` of the system DLL `library`, with the type of its declaration in the
// Windows headers, or nullptr if the system lacks it. The first call loads the DLL by its full
// path in the system folder, never one of the same name that anyone may have put beside the
// program, and it stays for the life of the process; later calls find it loaded. Nothing is
// cached, so threads share nothing and the C++ runtime's guarded statics stay out.
template <typename Function>
Function* SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (module == nullptr) {
    wchar_t path[MAX_PATH];
    const int folderLength = static_cast<int>(GetSystemDirectoryW(path, MAX_PATH));
    if (folderLength == 0 || folderLength + 1 + lstrlenW(library) >= MAX_PATH) return nullptr;
    path[folderLength] = L'\\';
    lstrcpyW(path + folderLength + 1, library);
    module = LoadLibraryW(path);
  }
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#endif
