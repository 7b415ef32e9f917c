; Tessaren's installer and uninstaller: per user, no administrator rights, into
; %LOCALAPPDATA%\Programs\Tessaren. Built by makensis from the Windows build
; (cmake/TessarenPackage.cmake), which passes VERSION, STAGE (the folder holding
; tessaren.exe, tessaren.com, README.txt and licenses\), ICON, OUTFILE, LICENSES (the lines that
; delete each licence text it installs), SETTINGS_TABLE (the registry keys and value
; names of the program's settings table, made by scripts/settings-table) and ART (the
; folder of the Welcome and Finish pages' picture at 100, 150 and 200 %, drawn by
; scripts/make-installer-art).
; A 64-bit installer: it runs wherever tessaren.exe does, and under Wine without its
; 32-bit half.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | ICON | OUTFILE | LICENSES | SETTINGS_TABLE | ART
  !error "makensis -DVERSION=x.y.z -DSTAGE=dir -DICON=file.ico -DOUTFILE=setup.exe -DLICENSES=licenses.nsh -DSETTINGS_TABLE=settings.nsh -DART=dir tessaren.nsi"
!endif
!include "${SETTINGS_TABLE}"

; scripts/package signs the uninstaller and the installer as they are made when given
; SIGN, a command that signs the file it is handed in place (scripts/sign-file); a failed
; signature fails the build.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1"' = 0
  !finalize '"${SIGN}" "%1"' = 0
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaren"
!define WINDOW_CLASS "TESSAREN"
!define PUBLISHER "Tessaren"
; How long a running copy gets to end after WM_CLOSE (Exit takes about 2 s).
!define END_WAIT_MS 20000

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "Tessaren"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tessaren"
; An upgrade goes where the last installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Tessaren ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Var StartAtSignIn
Var StartCheckBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; Tessaren's own picture on the Welcome and Finish pages. MUI2 takes one bitmap and
; stretches it to its place, which grows with the scaling (ManifestDPIAware); the pages'
; show functions put in the size drawn for the scaling in force instead (ShowPageArt).
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ART}\welcome-200.bmp"
!define MUI_WELCOMEPAGE_TEXT "This installs Tessaren ${VERSION} for you alone; it needs no administrator rights.$\r$\n$\r$\nTessaren keeps your desktop wallpaper up to date with a picture from the web. It lives as an icon in the notification area.$\r$\n$\r$\nA running Tessaren is ended and started again when the installation is done."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW WelcomePageShow
!insertmacro MUI_PAGE_WELCOME
Page custom StartupPage StartupPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Tessaren now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartTessaren
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Tessaren"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Tessaren ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Tessaren"

; Ends every running Tessaren: WM_CLOSE to its window (the program's own clean exit),
; then a wait for its process. One that does not end in time stops the (un)installation,
; since its files could not be replaced or removed.
!macro END_RUNNING_COPY un
Function ${un}EndRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  retry:
  FindWindow $0 "${WINDOW_CLASS}"
  ${DoWhile} $0 <> 0
    StrCpy $1 0
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    ; SYNCHRONIZE: enough to wait for the end.
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"
    DetailPrint "Ending the running Tessaren (process $1)"
    System::Call "user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i"
    StrCpy $3 1
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i ${END_WAIT_MS}) i .r3"
      System::Call "kernel32::CloseHandle(p r2)"
    ${Else}
      ; No handle to wait on: watch the window instead.
      StrCpy $1 0
      ${Do}
        System::Call "user32::IsWindow(p r0) i .r3"
        ${If} $3 = 0
        ${OrIf} $1 >= ${END_WAIT_MS}
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $1 $1 + 100
      ${Loop}
    ${EndIf}
    ${If} $3 <> 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tessaren is still running. End it with Exit in its tray icon's menu, then choose Retry." /SD IDCANCEL IDRETRY retry
      DetailPrint "Tessaren did not end"
      SetErrorLevel 3
      Quit
    ${EndIf}
    FindWindow $0 "${WINDOW_CLASS}"
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro END_RUNNING_COPY ""
!insertmacro END_RUNNING_COPY "un."

; The page's picture in the size drawn for the screen's scaling: the smallest of the three
; that fills the picture's place (164 x 314 pixels at 100 %), fitted to it exactly. A
; bitmap only ever shrinks a little this way, and never grows blurred.
!macro SHOW_PAGE_ART CONTROL BITMAP
  Push $0
  Push $1
  System::Call "*(i 0, i 0, i 0, i 0) p .r0"
  System::Call "user32::GetClientRect(p ${CONTROL}, p r0)"
  System::Call "*$0(i, i, i .r1, i)"
  System::Free $0
  ${NSD_FreeImage} ${BITMAP}
  ${If} $1 <= 164
    File "/oname=$PLUGINSDIR\welcome.bmp" "${ART}\welcome-100.bmp"
  ${ElseIf} $1 <= 246
    File "/oname=$PLUGINSDIR\welcome.bmp" "${ART}\welcome-150.bmp"
  ${Else}
    File "/oname=$PLUGINSDIR\welcome.bmp" "${ART}\welcome-200.bmp"
  ${EndIf}
  ${NSD_SetStretchedImage} ${CONTROL} "$PLUGINSDIR\welcome.bmp" ${BITMAP}
  Pop $1
  Pop $0
!macroend

Function WelcomePageShow
  !insertmacro SHOW_PAGE_ART $mui.WelcomePage.Image $mui.WelcomePage.Image.Bitmap
FunctionEnd

Function FinishPageShow
  !insertmacro SHOW_PAGE_ART $mui.FinishPage.Image $mui.FinishPage.Image.Bitmap
FunctionEnd

; Start at sign-in is on by default; an upgrade keeps it off where the user turned it off
; (an installed Tessaren without its Run value), in the page and with /S alike.
Function .onInit
  StrCpy $StartAtSignIn ${BST_CHECKED}
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${If} $0 != ""
  ${AndIf} $1 == ""
    StrCpy $StartAtSignIn ${BST_UNCHECKED}
  ${EndIf}
FunctionEnd

Function StartupPage
  !insertmacro MUI_HEADER_TEXT "Start with Windows" "Choose whether Tessaren starts when you sign in."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 36u "Tessaren updates the wallpaper only while it runs. It can start by itself, in the notification area, each time you sign in to Windows. You can change this later in Tessaren's Properties."
  Pop $0
  ${NSD_CreateCheckbox} 0 44u 100% 12u "&Start Tessaren when I sign in"
  Pop $StartCheckBox
  ${NSD_SetState} $StartCheckBox $StartAtSignIn
  nsDialogs::Show
FunctionEnd

Function StartupPageLeave
  ${NSD_GetState} $StartCheckBox $StartAtSignIn
FunctionEnd

Function StartTessaren
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\tessaren.exe"'
FunctionEnd

Section "Tessaren"
  SectionIn RO
  Call EndRunningCopy

  SetOutPath "$INSTDIR"
  File "${STAGE}\tessaren.exe"
  ; The console companion: "tessaren /status" in cmd or PowerShell runs it before the .exe.
  File "${STAGE}\tessaren.com"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\licenses"
  File "${STAGE}\licenses\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Tessaren.lnk" "$INSTDIR\tessaren.exe" "" "$INSTDIR\tessaren.exe" 0 \
    SW_SHOWNORMAL "" "Keeps the desktop wallpaper up to date with a picture from the web"

  ; The entry in Settings > Apps.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tessaren"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessaren.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"

  ${If} $StartAtSignIn == ${BST_CHECKED}
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\tessaren.exe"'
    ; A start turned off in Task Manager would stay off despite the Run value.
    DeleteRegValue HKCU "${APPROVED_KEY}" "${RUN_APPROVED_VALUE}"
  ${Else}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

Function .onInstSuccess
  ${If} ${Silent}
    Call StartTessaren
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.EndRunningCopy

  ; Tessaren's own files in its picture folder (the picture, the BMP and its temporary
  ; files, nothing else there): the program reads the folder from the settings and
  ; normalises it exactly as it does when it runs.
  ExecWait '"$INSTDIR\tessaren.exe" /uninstall'

  Delete "$INSTDIR\tessaren.exe"
  Delete "$INSTDIR\tessaren.com"
  Delete "$INSTDIR\README.txt"
  !include "${LICENSES}"
  RMDir "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tessaren.lnk"

  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegValue HKCU "${APPROVED_KEY}" "${RUN_APPROVED_VALUE}"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir /r "$LOCALAPPDATA\Tessaren"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
