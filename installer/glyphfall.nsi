; glyphfall's Windows installer, a 64-bit program itself. Made by the
; Windows build (glyphfall-scr/CMakeLists.txt) with makensis, which is given
; VERSION, VERSION_MAJOR, VERSION_MINOR, SOURCE_DIR, STAGE (the ZIP's files,
; stripped), FILES (their list, installer/file-list.cmake) and OUTFILE.
;
; Installs glyphfall.exe, the guide and the licence texts into Program
; Files, glyphfall.scr into the system folder, where the Screen Saver
; Settings dialog lists screen savers, and a Start-menu entry that shows the
; saver; registers the uninstaller in "Apps & features". It writes only into
; an empty folder or over an earlier install, and the uninstaller deletes
; the files of the same list and nothing else.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "${FILES}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\glyphfall"
!define DESKTOP_KEY "Control Panel\Desktop"
!define OWN_KEY "Software\glyphfall"
!define SAVER "$SYSDIR\glyphfall.scr"
!define SHORTCUT "$SMPROGRAMS\glyphfall screen saver.lnk"

Name "glyphfall ${VERSION}"
BrandingText "glyphfall ${VERSION}"
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

Var Account       ; the account setup runs as, DOMAIN\name
Var DesktopUser   ; the account signed in to this desktop
Var FinishText
Var Left          ; what the uninstaller could not delete, a line each

!define MUI_ICON "${SOURCE_DIR}\data\glyphfall.ico"
!define MUI_UNICON "${SOURCE_DIR}\data\glyphfall.ico"
!define MUI_WELCOMEPAGE_TEXT "glyphfall fills the screen with one large Cyrillic capital letter at a \
  time: the letter breaks into blocks of colour that fall in on one another and swirl, and a new \
  letter follows every minute.$\r$\n$\r$\nIts screen saver, glyphfall.scr, shows that motion on every \
  monitor: choose it in the Screen Saver Settings, or start it from the Start menu's \
  $\"glyphfall screen saver$\".$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE FolderLeave
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_RUN_TEXT "Preview the screen saver"
!define MUI_FINISHPAGE_RUN_FUNCTION Preview
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the Screen Saver Settings"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenSettings
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The steps each file of the list takes.
!macro InstallFile folder name source
  SetOutPath "${folder}"
  File "/oname=${name}" "${STAGE}/${source}"
!macroend
!macro RemoveFile folder name source
  !insertmacro Remove Delete "${folder}\${name}"
!macroend
!macro RemoveFolder folder   ; only if empty: what else lies there is not ours
  !insertmacro Remove RMDir "${folder}"
!macroend
; Deletes a file or an empty folder now or, in use (a running saver, or its
; working folder), at the next restart, noted in $Left.
!macro Remove command path
  ${command} "${path}"
  ${If} ${FileExists} "${path}"
    ${command} /REBOOTOK "${path}"
    StrCpy $Left "$Left$\r$\n${path}"
    DetailPrint "In use, deleted at the next restart: ${path}"
  ${EndIf}
!macroend

; Pushes the session's name of that class (5 the user, 7 the domain), "" if unknown.
!macro SessionName class
  System::Call 'wtsapi32::WTSQuerySessionInformationW(p 0, i -1, i ${class}, *p .r1, *i .r2) i .r3'
  ${If} $3 <> 0
    System::Call '*$1(&w256 .s)'
    System::Call 'wtsapi32::WTSFreeMemory(p r1)'
  ${Else}
    Push ""
  ${EndIf}
!macroend

Section "glyphfall and its screen saver" SecMain
  SectionIn RO
  SetRegView 64
  SetShellVarContext all
  ; Over an earlier version: its files that this one no longer has.
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == $INSTDIR
    Delete "$INSTDIR\README.md"
    Delete "$SMPROGRAMS\glyphfall.lnk"
  ${EndIf}
  !insertmacro GlyphfallFiles InstallFile
  SetOutPath "$INSTDIR"   ; the shortcut's working folder
  CreateShortcut "${SHORTCUT}" "${SAVER}" "/s" "${SAVER}" 0 SW_SHOWNORMAL "" \
    "glyphfall's screen saver, full-screen until a key or the mouse"
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
  SectionGetSize ${SecMain} $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; Off unless chosen: taking over someone's screen saver is theirs to decide.
; The one it replaces is remembered for the uninstaller; whether a saver
; runs at all (ScreenSaveActive) and after how long stay as they are.
Section /o "Make glyphfall the current screen saver" SecCurrent
  ReadRegStr $1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} $1 == ""
    DeleteRegValue HKCU "${OWN_KEY}" "PreviousSaver"
  ${ElseIf} $1 != "${SAVER}"
    WriteRegStr HKCU "${OWN_KEY}" "PreviousSaver" $1
  ${EndIf}
  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "${SAVER}"
SectionEnd

; A standard user who gives an administrator's credentials runs setup as
; that administrator: HKCU is then the administrator's, and what setup
; would start runs as the administrator. So setting the current screen
; saver and the finish page's offers are for the account signed in only;
; otherwise the finish page says how that user chooses it.
Function .onInit
  SetRegView 64
  System::Call 'secur32::GetUserNameExW(i 2, w .r0, *i ${NSIS_MAX_STRLEN})'
  StrCpy $Account $0
  !insertmacro SessionName 7
  !insertmacro SessionName 5
  Pop $1
  Pop $0
  StrCpy $DesktopUser "$0\$1"
  StrCpy $FinishText "glyphfall ${VERSION} is installed. Choose it in the Screen Saver Settings, \
    or start it from the Start menu's $\"glyphfall screen saver$\"."
  ${If} $Account != $DesktopUser
  ${OrIf} $1 == ""
    SectionSetFlags ${SecCurrent} ${SF_RO}
    SectionSetText ${SecCurrent} "Current screen saver (setup runs as another account)"
    StrCpy $FinishText "glyphfall ${VERSION} is installed for every account.$\r$\n$\r$\nSetup ran as \
      $Account, not as $DesktopUser, so it changed no one's screen saver: signed in as yourself, \
      choose glyphfall in the Screen Saver Settings."
  ${EndIf}
  ${If} ${Silent}
    Call CheckFolder
    ${If} $0 != ""
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; $0: why $INSTDIR is refused, or "" where it is empty or missing, or where
; glyphfall is installed already.
Function CheckFolder
  StrCpy $0 ""
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == $INSTDIR
    Return
  ${ElseIf} $1 != ""
    StrCpy $0 "glyphfall is installed in $1 already: install it there, or uninstall it first."
    Return
  ${ElseIf} ${FileExists} "${SAVER}"
    StrCpy $0 "${SAVER} is there already, not from setup: delete it first."
    Return
  ${EndIf}
  FindFirst $2 $3 "$INSTDIR\*"
  ${DoWhile} $3 != ""
    ${If} $3 != "."
    ${AndIf} $3 != ".."
      StrCpy $0 "$INSTDIR holds other files. Choose an empty folder or a new one: setup writes \
        only where nothing else lies, so that the uninstaller cannot take what is not glyphfall's."
      ${Break}
    ${EndIf}
    FindNext $2 $3
  ${Loop}
  FindClose $2
FunctionEnd

Function FolderLeave
  Call CheckFolder
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION $0
    Abort
  ${EndIf}
FunctionEnd

Function FinishShow
  ${If} ${SectionIsReadOnly} ${SecCurrent}
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ShowWindow $mui.FinishPage.ShowReadme ${SW_HIDE}
  ${EndIf}
FunctionEnd

Function Preview
  Exec '"${SAVER}" /s'
FunctionEnd

Function OpenSettings
  Exec '"$SYSDIR\control.exe" desk.cpl,,@screensaver'
FunctionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  ; The uninstalling account's screen saver, where it is this install's
  ; (as a long or a short path): the one it replaced comes back, or none.
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ExpandEnvStrings $0 $0
  GetFullPathName /SHORT $1 "${SAVER}"
  ${If} $1 == ""
    StrCpy $1 "${SAVER}"
  ${EndIf}
  ${If} $0 == "${SAVER}"
  ${OrIf} $0 == $1
    ClearErrors
    ReadRegStr $0 HKCU "${OWN_KEY}" "PreviousSaver"
    ${If} ${Errors}
      DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
      WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $0
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKCU "${OWN_KEY}"

  !insertmacro GlyphfallFiles RemoveFile
  !insertmacro Remove Delete "${SHORTCUT}"
  !insertmacro Remove Delete "$INSTDIR\uninstall.exe"
  !insertmacro GlyphfallFolders RemoveFolder
  !insertmacro RemoveFolder "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $Left != ""
    SetErrorLevel 3010   ; done, a restart finishes it
    MessageBox MB_OK|MB_ICONINFORMATION "glyphfall is uninstalled. These files are in use; Windows \
      deletes them at the next restart:$Left" /SD IDOK
  ${EndIf}
SectionEnd
