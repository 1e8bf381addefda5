; The Windows installer of Velnor: for the user who runs it, without administrator rights. It puts
; velnor.exe under the user's programs folder, a Start menu shortcut, an uninstaller listed under
; "Installed apps", and, if chosen, the start at login that the program's own menu also sets.
;
; makensis -DARCH=amd64|x86 -DVERSION=<x.y> -DEXE=<velnor.exe> -DICON=<.ico> -DOUTFILE=<setup.exe>

Unicode true
Target ${ARCH}-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velnor"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "Velnor"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\Velnor"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Velnor"
VIAddVersionKey "FileDescription" "Velnor installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Velnor developers, MIT License"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; A running copy holds velnor.exe open: it is asked to close, as its window's close button would
; (it lets go of every key it holds), and given five seconds.
!macro CloseRunningCopy
  FindWindow $0 "VelnorMainForm"
  ${If} $0 <> 0
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    ${DoWhile} $1 < 50
      FindWindow $0 "VelnorMainForm"
      ${IfThen} $0 = 0 ${|} ${ExitDo} ${|}
      Sleep 100
      IntOp $1 $1 + 1
    ${Loop}
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext current
  !insertmacro CloseRunningCopy
FunctionEnd

Function un.onInit
  SetShellVarContext current
  !insertmacro CloseRunningCopy
FunctionEnd

Section "Velnor" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=velnor.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Velnor.lnk" "$INSTDIR\velnor.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velnor"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Velnor developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velnor.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The same value "Start at login with these settings" writes, minimised and with no settings.
Section /o "Start at login" SecLogin
  WriteRegStr HKCU "${RUN_KEY}" "Velnor" '"$INSTDIR\velnor.exe" -minimize'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\velnor.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Velnor.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "Velnor"
  ; The ports assigned to COM1 to COM4 and anything else kept for the user.
  DeleteRegKey HKCU "Software\Velnor"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
