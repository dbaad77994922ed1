; glyphfall's Windows installer, a 64-bit program itself. Made by the
; Windows build (glyphfall-scr/CMakeLists.txt) with makensis, which is given VERSION,
; VERSION_MAJOR, VERSION_MINOR, BUILD_DIR, SOURCE_DIR, LICENSES_DIR and OUTFILE.
;
; Installs glyphfall.exe, the README and the licence texts into Program
; Files, glyphfall.scr into the system folder, where the Screen Saver
; Settings dialog lists screen savers, and a Start-menu entry; registers
; the uninstaller in "Apps & features". Installing over an older version
; overwrites it in place, keeping the user's settings.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "StrFunc.nsh"
${UnStrStr}

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\glyphfall"
!define DESKTOP_KEY "Control Panel\Desktop"

Name "glyphfall ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\glyphfall"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.0.0"
VIAddVersionKey "ProductName" "glyphfall"
VIAddVersionKey "FileDescription" "glyphfall setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "glyphfall developers"
VIAddVersionKey "LegalCopyright" "glyphfall developers"

!define MUI_ICON "${SOURCE_DIR}\data\glyphfall.ico"
!define MUI_UNICON "${SOURCE_DIR}\data\glyphfall.ico"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "glyphfall and its screen saver" SecMain
  SectionIn RO
  SetRegView 64
  SetOutPath "$INSTDIR"
  File "${BUILD_DIR}\glyphfall.exe"
  File "/oname=README.md" "${SOURCE_DIR}\README.md"
  !if /FileExists "${SOURCE_DIR}\LICENSE"
    File "/oname=LICENSE.txt" "${SOURCE_DIR}\LICENSE"
  !endif
  SetOutPath "$INSTDIR\licenses"
  File "${LICENSES_DIR}\*.*"
  ; A 64-bit installer sees the real System32: where 64-bit screen savers go.
  SetOutPath "$SYSDIR"
  File "${BUILD_DIR}\glyphfall.scr"

  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\glyphfall.lnk" "$INSTDIR\glyphfall.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "glyphfall"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "glyphfall developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\glyphfall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Off unless chosen: taking over someone's screen saver is theirs to decide.
Section /o "Make glyphfall the current screen saver" SecCurrent
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\glyphfall.scr"
  WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
SectionEnd

Section "Uninstall"
  SetRegView 64
  Delete "$INSTDIR\glyphfall.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SYSDIR\glyphfall.scr"
  SetShellVarContext all
  Delete "$SMPROGRAMS\glyphfall.lnk"

  ; The uninstalling user's settings, and the current screen saver where it
  ; names glyphfall (Windows would otherwise point at a missing file).
  DeleteRegKey HKCU "Software\glyphfall"
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${UnStrStr} $1 $0 "glyphfall.scr"
  ${If} $1 != ""
    DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "0"
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
