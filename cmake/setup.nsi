; The Windows players' setup program, SMorvala-VERSION-setup.exe, in Simplified Chinese: the game
; in a folder of the player's own (no administrator rights asked), a Start-menu shortcut, an
; optional desktop shortcut, an uninstaller and the entry in "Apps & features". Made by
; make_setup.cmake in a folder of its own, beside the game's SMorvala.exe and smorvala.ico, the
; pictures setup-welcome.bmp and setup-header.bmp, and values.nsh, which defines VERSION and the
; publisher's PUBLISHER and HOMEPAGE, and SIGN, the command that signs a program, in a signed build.

Unicode true
RequestExecutionLevel user
SetCompressor /SOLID lzma
; No file time is stored, so every build of one commit makes the same bytes; the installed files
; get the time they are installed.
SetDateSave off

!include values.nsh
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SMorvala"
!define UNINSTALLER "uninstall.exe"

!ifdef SIGN
  ; The plug-ins, signed copies that makensis takes before its own; the uninstaller as makensis
  ; writes it, before it goes into the setup program; the setup program once it is whole.
  !addplugindir /x86-unicode plugins
  !uninstfinalize '${SIGN} "%1" ${UNINSTALLER}' = 0
  !finalize '${SIGN} "%1" SMorvala-${VERSION}-setup.exe' = 0
!endif
!include MUI2.nsh

Name "SMorvala"
OutFile "SMorvala-${VERSION}-setup.exe"
; Windows treats a program named "setup" as an installer, which is what this is; the manifest's
; "asInvoker" keeps it from asking for an administrator.
!pragma warning disable 9000
BrandingText "SMorvala ${VERSION}"
; A per-user folder, as for any program that needs no administrator; a later setup goes where the
; first one put the game.
InstallDir "$LOCALAPPDATA\Programs\SMorvala"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "SMorvala"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "SMorvala 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "版权所有 (C) ${PUBLISHER}"

!define MUI_ICON "smorvala.ico"
!define MUI_UNICON "smorvala.ico"
; The game's own colours beside the welcome and finish pages and in the header of the others,
; the uninstaller's too (tools/make_setup_pictures.py). Windows lets the setup program draw at
; the screen's DPI, its text sharp; the pictures, drawn at twice the size of 96 DPI, are fitted
; to the height of their controls, which grow with the DPI and the font, their cells kept square.
ManifestDPIAware true
!define MUI_WELCOMEFINISHPAGE_BITMAP "setup-welcome.bmp"
!define MUI_WELCOMEFINISHPAGE_BITMAP_STRETCH AspectFitHeight
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "setup-header.bmp"
!define MUI_HEADERIMAGE_BITMAP_STRETCH AspectFitHeight
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\SMorvala.exe"
; The finish page's second box, unticked: a desktop shortcut.
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "创建桌面快捷方式(&D)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION CreateDesktopShortcut

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; A running program's file cannot be replaced or removed: while the game runs, the player is
; asked to end it and retry, or to cancel before anything has changed. A silent run cancels.
!macro WaitUntilTheGameHasEnded
  retry:
    ClearErrors
    Delete "$INSTDIR\SMorvala.exe"
    IfErrors 0 ended
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "SMorvala 正在运行，无法替换或删除它。$\r$\n请先退出游戏，然后点击“重试”。" \
      /SD IDCANCEL IDRETRY retry
    Abort "SMorvala 正在运行：已取消，没有做任何改动。"
  ended:
!macroend

Section
  SetOutPath "$INSTDIR"
  !insertmacro WaitUntilTheGameHasEnded
  File "SMorvala.exe"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  CreateShortcut "$SMPROGRAMS\SMorvala.lnk" "$INSTDIR\SMorvala.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "SMorvala"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\SMorvala.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as "Apps & features" shows it: the size of the game.
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function CreateDesktopShortcut
  CreateShortcut "$DESKTOP\SMorvala.lnk" "$INSTDIR\SMorvala.exe"
FunctionEnd

; Removes what the setup program put there, and nothing else: a folder that also holds the
; player's own files is kept, and the player told so.
Section "Uninstall"
  !insertmacro WaitUntilTheGameHasEnded
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "$SMPROGRAMS\SMorvala.lnk"
  Delete "$DESKTOP\SMorvala.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
  ; The default folder's parent, where the game's folder was the only one in it.
  RMDir "$LOCALAPPDATA\Programs"
  IfFileExists "$INSTDIR\*.*" 0 removed
    MessageBox MB_OK|MB_ICONINFORMATION \
      "文件夹“$INSTDIR”中还有不是 SMorvala 安装的文件，已将其保留。" /SD IDOK
  removed:
SectionEnd
