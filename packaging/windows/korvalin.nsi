; Korvalin's Windows installer, built on Linux by tools/package with
; Debian's makensis:
;   makensis -DVERSION=1.0.0 -DSTAGE=<portable folder> -DICON=<.ico> -DOUTFILE=<exe> korvalin.nsi
; STAGE is the portable folder tools/package assembles (Korvalin.exe with the
; real Tessaro.dll, korvalinctl.exe, Skins, Help, and Simulated\ with the
; simulated keyboard). The installer is per machine; it never touches the
; user's Documents\Korvalin folder (profile files, the profile cache).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetCompressorDictSize 16
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh

!define PRODUCT "Korvalin"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalin"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MUTEX "Korvalin_Mutex_RV304 104key"
!define SIM_EXE "KorvalinSimulated.exe"
!define MENU_FOLDER "$SMPROGRAMS\Korvalin"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Korvalin"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 Korvalin"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION}, the settings program of your gaming keyboard, for every user of this computer.$\r$\n$\r$\nYour profile files and settings in Documents\Korvalin are kept as they are.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} is installed. Find it in the Start menu; with $\"Start Korvalin at login$\" it waits in the notification area after you log in."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
; A file that cannot be replaced is held by a program still running: most
; often a Korvalin of another user's session, or a virus scanner.
LangString ^FileError ${LANG_ENGLISH} "$0 cannot be replaced: a program holds it open, most likely Korvalin (it may run for another user of this computer; close it from its notification-area icon) or a virus scanner.$\r$\n$\r$\nClick Retry once it is closed, Abort to stop the installation, or Ignore to skip this file."
LangString ^FileError_NoIgnore ${LANG_ENGLISH} "$0 cannot be replaced: a program holds it open, most likely Korvalin (it may run for another user of this computer; close it from its notification-area icon) or a virus scanner.$\r$\n$\r$\nClick Retry once it is closed, or Cancel to stop the installation."

Function .onInit
  ; Per machine: Program Files, the machine's Start menu and Run key.
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "Installing Korvalin for every user of this computer needs administrator rights." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Waits for each running Korvalin process, of every session, to end (at
; most 10 s each): its files are free only once the process is gone, a while
; after its mutex. PROCESSENTRY32W of a 64-bit process: the id at offset 8,
; the file name at 44, 568 bytes in all.
!macro WAIT_KORVALIN un
Function ${un}WaitKorvalinProcesses
  System::Call "kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r5"
  ${If} $5 = -1
    Return
  ${EndIf}
  System::Alloc 568
  Pop $6
  System::Call "*$6(i 568)"
  System::Call "kernel32::Process32FirstW(p r5, p r6) i .r9"
  ${DoWhile} $9 <> 0
    System::Call "*$6(i, i, i .r7, i, l, i, i, i, i, i, &w260 .r8)"
    ${If} $8 == "Korvalin.exe"
    ${OrIf} $8 == "${SIM_EXE}"
      System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r7) p .r3"
      ${If} $3 <> 0
        System::Call "kernel32::WaitForSingleObject(p r3, i 10000) i"
        System::Call "kernel32::CloseHandle(p r3)"
      ${EndIf}
    ${EndIf}
    System::Call "kernel32::Process32NextW(p r5, p r6) i .r9"
  ${Loop}
  System::Free $6
  System::Call "kernel32::CloseHandle(p r5)"
FunctionEnd
!macroend
!insertmacro WAIT_KORVALIN ""
!insertmacro WAIT_KORVALIN "un."

; Ends every running Korvalin of this session the way "/Kill" does: the
; KILL message to each window carrying the MAIN marker. Running
; "Korvalin.exe /Kill" instead would start the program when none runs. Files
; in use could not be replaced or removed, so this waits until the
; single-instance mutex is gone (at most 10 s) and then for the processes.
!macro CLOSE_KORVALIN un
Function ${un}CloseKorvalin
  StrCpy $1 0
  ${Do}
    FindWindow $1 "#32770" "" "" $1
    ${If} $1 = 0
      ${Break}
    ${EndIf}
    System::Call "user32::GetWindowLongPtrW(p r1, i -21) p .r2"
    ${If} $2 = 0x4D41494E
      SendMessage $1 0x4D4B 0x4C4C494B 0 /TIMEOUT=10000
    ${EndIf}
  ${Loop}
  StrCpy $4 0
  ${Do}
    System::Call "kernel32::OpenMutexW(i 0x00100000, i 0, w '${MUTEX}') p .r3"
    ${If} $3 = 0
      ${Break}
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r3)"
    IntOp $4 $4 + 1
    ${If} $4 > 50
      ${Break}
    ${EndIf}
    Sleep 200
  ${Loop}
  ; The mutex goes early in the shutdown; the process ends just after.
  Call ${un}WaitKorvalinProcesses
FunctionEnd
!macroend
!insertmacro CLOSE_KORVALIN ""
!insertmacro CLOSE_KORVALIN "un."

Section "Korvalin" SecMain
  SectionIn RO
  Call CloseKorvalin

  ; An installed version, older or not, is removed first with its own
  ; uninstaller (wherever it was installed), so nothing of it stays behind.
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    ExecWait '"$0\Uninstall.exe" /S _?=$0'
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}\Korvalin.exe"
  File "${STAGE}\Tessaro.dll"
  File "${STAGE}\korvalinctl.exe"
  File /r "${STAGE}\Skins"
  File /r "${STAGE}\Help"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\Korvalin.lnk" "$INSTDIR\Korvalin.exe" "" "$INSTDIR\Korvalin.exe" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Korvalin"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Korvalin.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Start Korvalin at login" SecAutostart
  ; "/Start" keeps the window hidden: Korvalin waits in the notification area.
  WriteRegStr HKLM "${RUN_KEY}" "Korvalin" '"$INSTDIR\Korvalin.exe" /Start'
SectionEnd

Section "Try Korvalin with a simulated keyboard" SecSimulated
  ; A copy of the program beside the simulated Tessaro.dll (the program loads
  ; the library only from its own folder). Its own file name lets it run while
  ; Korvalin itself waits in the notification area: a second start under the
  ; same name would only bring up the running one.
  SetOutPath "$INSTDIR\Simulated"
  File "${STAGE}\Simulated\${SIM_EXE}"
  File "${STAGE}\Simulated\Tessaro.dll"
  File "${STAGE}\Simulated\kvsimctl.exe"
  File /r "${STAGE}\Simulated\Skins"
  File /r "${STAGE}\Simulated\Help"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortCut "${MENU_FOLDER}\Korvalin (simulated keyboard).lnk" "$INSTDIR\Simulated\${SIM_EXE}" "" "$INSTDIR\Simulated\${SIM_EXE}" 0
SectionEnd

Section "Uninstall"
  Call un.CloseKorvalin

  ; Only what the installer put here: the user's Documents\Korvalin folder
  ; and a folder someone chose that holds other files stay untouched.
  Delete "$INSTDIR\Korvalin.exe"
  Delete "$INSTDIR\Tessaro.dll"
  Delete "$INSTDIR\korvalinctl.exe"
  RMDir /r "$INSTDIR\Skins"
  RMDir /r "$INSTDIR\Help"
  Delete "$INSTDIR\Simulated\${SIM_EXE}"
  Delete "$INSTDIR\Simulated\Tessaro.dll"
  ; The simulated keyboard's memory, written beside its library.
  Delete "$INSTDIR\Simulated\Tessaro.state"
  Delete "$INSTDIR\Simulated\Tessaro.state.bad"
  Delete "$INSTDIR\Simulated\kvsimctl.exe"
  RMDir /r "$INSTDIR\Simulated\Skins"
  RMDir /r "$INSTDIR\Simulated\Help"
  RMDir "$INSTDIR\Simulated"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\Korvalin.lnk"
  Delete "${MENU_FOLDER}\Korvalin (simulated keyboard).lnk"
  RMDir "${MENU_FOLDER}"

  DeleteRegValue HKLM "${RUN_KEY}" "Korvalin"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
