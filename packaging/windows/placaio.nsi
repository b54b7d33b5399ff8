; The Windows installer, made by packaging/windows/package: the tree that the build's
; install rules staged (FILES lists it), for the current user or for all users.
;   makensis -DVERSION=1.0.0 -DFILES=files.nsh -DSIZE_KB=4400 -DOUTFILE=setup.exe placaio.nsi
; Silent: /S, with /CurrentUser or /AllUsers and /D=FOLDER (last) when wanted; without
; them, for all users when run as an administrator, for the current user otherwise.
Unicode true
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\placaio"
!define MENU "$SMPROGRAMS\placaio"

Name "placaio ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "placaio ${VERSION}"

; A second install finds the first one's folder and mode in its uninstall entry.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR placaio
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME InstallLocation
!define MULTIUSER_INSTALLMODE_FUNCTION keep_folder_from_command_line
!define MULTIUSER_NOUNINSTALL
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include ${FILES}

!define REAL_BOARD_TEXT "For a real board, put its port driver io.dll in $INSTDIR\bin, beside elevmando.exe. For the USB adaptor that stands in for a parallel port, that is a copy of $INSTDIR\bin\serial\io.dll. This installer never puts an io.dll there, and the uninstaller leaves yours in place."

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "placaio is installed in $INSTDIR. The Start menu's folder placaio starts the lift program on the simulated board, the lift program alone and the simulator's panel.$\r$\n$\r$\n${REAL_BOARD_TEXT}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

; The Start menu's entries, each once: name, program in bin, arguments. They start in
; bin, where the lift program finds its pictures.
!macro shortcuts each
  !insertmacro ${each} "Lift program on the simulated board" "bin\placasim.exe" "-- elevmando.exe"
  !insertmacro ${each} "Lift program (real board)" "bin\elevmando.exe" ""
  !insertmacro ${each} "Board simulator" "bin\placasim.exe" ""
  !insertmacro ${each} "Uninstall placaio" "uninstall.exe" ""
!macroend
!macro create_shortcut name program arguments
  CreateShortCut "${MENU}\${name}.lnk" "$INSTDIR\${program}" "${arguments}"
!macroend
!macro delete_shortcut name program arguments
  Delete "${MENU}\${name}.lnk"
!macroend

; MultiUser sets its default folder for the chosen mode over /D=.
Var folder_from_command_line
Function .onInit
  StrCpy $folder_from_command_line $INSTDIR
  !insertmacro MULTIUSER_INIT
FunctionEnd
Function keep_folder_from_command_line
  ${If} $folder_from_command_line != ""
    StrCpy $INSTDIR $folder_from_command_line
  ${EndIf}
FunctionEnd

Section
  ${If} ${FileExists} "$INSTDIR\bin\io.dll"
    DetailPrint "Kept your port driver $INSTDIR\bin\io.dll"
  ${EndIf}
  !insertmacro install_files
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$INSTDIR\bin"
  CreateDirectory "${MENU}"
  !insertmacro shortcuts create_shortcut

  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayName "placaio ${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\bin\elevmando.exe"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" EstimatedSize ${SIZE_KB}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" NoRepair 1
SectionEnd

; The uninstaller sits in the installed folder: an install for all users named that
; folder in the machine's uninstall entry.
Function un.onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Only what the installer wrote, file by file; folders only once empty.
Section Uninstall
  !insertmacro shortcuts delete_shortcut
  RMDir "${MENU}"
  Delete "$INSTDIR\uninstall.exe"
  !insertmacro uninstall_files
  RMDir "$INSTDIR"
  ${If} ${FileExists} "$INSTDIR\bin\io.dll"
    DetailPrint "Kept your port driver $INSTDIR\bin\io.dll"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
