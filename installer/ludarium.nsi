; The Windows setup program: installs ludarium, ludguard and the tools,
; registers the firewall entry and starts the service; its uninstaller ends
; and removes it again. scripts/make-installer builds it once per target:
;
;   makensis -DARCH=x86|x64 -DVERSION=1.2.3 -DPROGRAMS=<dist folder>
;            -DOUTFILE=<setup.exe> [-DWWW=<www folder>] installer/ludarium.nsi
;
; ARCH x86 takes the i686 programs and the x86 stub and installs into the
; 32-bit Program Files; x64 the x86_64 programs, the amd64 stub and the
; 64-bit Program Files.
;
; Switches: /S silent; /D=<folder> (last, unquoted, blanks allowed) the
; install folder; /uninstall runs the uninstaller of the installation (the
; one in /D=, else the registered one) and waits for it. Uninstaller: /S,
; /purge also removes log\ and config\.
; /ORIGINS=<origin>[,<origin>...] (for example
; /ORIGINS=https://platform.school.example) lists web pages allowed to use
; the classroom from the teacher's browser in config\origins; an existing
; file is kept (an upgrade keeps it) and only the origins it lacks are added.
; Exit codes: 0 done, 1 cancelled, 2 failed (for example a program file that
; another process holds open and that therefore cannot be replaced).
;
; An uninstaller started by itself copies itself out of the folder, starts
; the copy and ends at once with 0, so its caller learns nothing of the
; result; "setup /uninstall" does the same but waits for the copy and
; returns its exit code.

Unicode true
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef ARCH | VERSION | PROGRAMS | OUTFILE
  !error "ARCH, VERSION, PROGRAMS and OUTFILE must be defined (scripts/make-installer)"
!endif

!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include x64.nsh

!define PRODUCT "Ludarium Classroom Service"
!define PUBLISHER "Ludarium classroom software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ludarium"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU_FOLDER "$SMPROGRAMS\Ludarium"

!if "${ARCH}" == "x64"
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\Ludarium"
  Name "${PRODUCT} (64-bit)"
!else if "${ARCH}" == "x86"
  Target x86-unicode
  InstallDir "$PROGRAMFILES\Ludarium"
  Name "${PRODUCT}"
!else
  !error "ARCH must be x86 or x64"
!endif
; An upgrade goes where the earlier version is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var failure  ; what went wrong, for the message and the details

; Ends ludguard (its job ends ludarium with it), then any ludarium started
; on its own, and waits until every program file can be written: a program
; that is still running keeps its file locked. taskkill ends the programs by
; name, wherever they were started from: there is one service per PC.
!macro END_SERVICE un
Function ${un}EndService
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ludguard.exe'
  Pop $0
  Sleep 500
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ludarium.exe'
  Pop $0
  StrCpy $1 0
  ${Do}
    Push ludguard.exe
    Call ${un}Writable
    Pop $0
    ${If} $0 == 1
      Push ludarium.exe
      Call ${un}Writable
      Pop $0
    ${EndIf}
    ${IfThen} $0 == 1 ${|} ${ExitDo} ${|}
    IntOp $1 $1 + 1
    ${IfThen} $1 >= 40 ${|} ${ExitDo} ${|}
    Sleep 250
  ${Loop}
FunctionEnd

; Pushes 1 when $INSTDIR\<name> is absent or can be opened for writing,
; else 0. Leaves the error flag clear.
Function ${un}Writable
  Exch $R0
  Push $R1
  ClearErrors
  ${If} ${FileExists} "$INSTDIR\$R0"
    FileOpen $R1 "$INSTDIR\$R0" a
    ${If} ${Errors}
      StrCpy $R0 0
    ${Else}
      FileClose $R1
      StrCpy $R0 1
    ${EndIf}
  ${Else}
    StrCpy $R0 1
  ${EndIf}
  ClearErrors
  Pop $R1
  Exch $R0
FunctionEnd

!macroend
!insertmacro END_SERVICE ""
!insertmacro END_SERVICE "un."

; Fails the installation: a message (the default answer in silent mode),
; exit code 2.
!macro FAIL
  DetailPrint "$failure"
  MessageBox MB_OK|MB_ICONSTOP "$failure" /SD IDOK
  SetErrorLevel 2
  Abort "$failure"
!macroend

; Fails before anything is changed when a program of an earlier version
; cannot be replaced, and starts the service that was ended for it again.
!macro CHECK_WRITABLE name
  Push ${name}
  Call Writable
  Pop $0
  ${If} $0 != 1
    StrCpy $failure "$INSTDIR\${name} is in use and cannot be replaced."
    ${If} ${FileExists} "$INSTDIR\ludguard.exe"
      Exec '"$INSTDIR\ludguard.exe"'
    ${EndIf}
    !insertmacro FAIL
  ${EndIf}
!macroend

!macro PUT_PROGRAM name
  ClearErrors
  File "${PROGRAMS}\${name}"
  ${If} ${Errors}
    StrCpy $failure "$INSTDIR\${name} could not be written."
    !insertmacro FAIL
  ${EndIf}
!macroend

Function .onInit
!if "${ARCH}" == "x64"
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This setup program needs 64-bit Windows." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetRegView 64
!endif
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/uninstall" $R1
  ${IfNot} ${Errors}
    Call RunUninstaller
  ${EndIf}
FunctionEnd

Function RunUninstaller
  ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
    MessageBox MB_OK|MB_ICONSTOP "No installation in $INSTDIR." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  StrCpy $R1 ""
  ${IfThen} ${Silent} ${|} StrCpy $R1 "/S " ${|}
  ClearErrors
  ${GetOptions} $R0 "/purge" $R2
  ${IfNot} ${Errors}
    StrCpy $R1 "$R1/purge "
  ${EndIf}
  InitPluginsDir
  ClearErrors
  CopyFiles /SILENT "$INSTDIR\uninstall.exe" "$PLUGINSDIR\uninstall.exe"
  ${If} ${Errors}
    SetErrorLevel 2
    Quit
  ${EndIf}
  ; _?= (always last) runs it in place of the copy it would make itself.
  ClearErrors
  ExecWait '"$PLUGINSDIR\uninstall.exe" $R1_?=$INSTDIR' $R3
  ${If} ${Errors}
    StrCpy $R3 2
  ${EndIf}
  SetErrorLevel $R3
  Quit
FunctionEnd

; Whether config\origins has the line $R6 (without its line end): $R7 1 or 0.
Function OriginListed
  StrCpy $R7 0
  ClearErrors
  FileOpen $R8 "$INSTDIR\config\origins" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $R8 $R9
    ${If} ${Errors}
      ${ExitDo}
    ${EndIf}
    ${TrimNewLines} $R9 $R9
    ${If} $R9 == $R6
      StrCpy $R7 1
      ${ExitDo}
    ${EndIf}
  ${Loop}
  FileClose $R8
FunctionEnd

; The value of /ORIGINS= in the command line $R0 into $R1, "" without one:
; the text after it up to the next blank, quotes left out (GetOptions would
; stop at the first "/" of the first origin).
Function OriginsOption
  StrCpy $R1 ""
  StrLen $R3 $R0
  StrCpy $R4 0
  ${Do}
    ${If} $R4 >= $R3
      Return
    ${EndIf}
    StrCpy $R5 $R0 9 $R4
    ${If} $R5 == "/ORIGINS="
      ${ExitDo}
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
  IntOp $R4 $R4 + 9
  ${Do}
    StrCpy $R5 $R0 1 $R4
    ${If} $R5 == ""
    ${OrIf} $R5 == " "
      ${ExitDo}
    ${EndIf}
    ${IfThen} $R5 != '"' ${|} StrCpy $R1 "$R1$R5" ${|}
    IntOp $R4 $R4 + 1
  ${Loop}
FunctionEnd

; /ORIGINS=a,b,...: each origin the file lacks becomes a line of its own.
Function AddOrigins
  ${GetParameters} $R0
  Call OriginsOption
  ${If} $R1 == ""
    Return
  ${EndIf}
  CreateDirectory "$INSTDIR\config"
  StrCpy $R1 "$R1,"
  StrCpy $R6 ""
  StrCpy $R4 0
  ${Do}
    StrCpy $R5 $R1 1 $R4
    ${If} $R5 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $R4 $R4 + 1
    ${If} $R5 != ","
      ${If} $R5 != " "
        StrCpy $R6 "$R6$R5"
      ${EndIf}
      ${Continue}
    ${EndIf}
    ${If} $R6 != ""
      Call OriginListed
      ${If} $R7 == 0
        ClearErrors
        FileOpen $R2 "$INSTDIR\config\origins" a
        ${If} ${Errors}
          StrCpy $failure "$INSTDIR\config\origins could not be written."
          !insertmacro FAIL
        ${EndIf}
        FileSeek $R2 0 END $R3
        ; A last line without its line end is ended first.
        ${If} $R3 > 0
          FileSeek $R2 -1 END
          FileReadByte $R2 $R3
          FileSeek $R2 0 END
          ${IfThen} $R3 != 10 ${|} FileWrite $R2 "$\r$\n" ${|}
        ${EndIf}
        FileWrite $R2 "$R6$\r$\n"
        FileClose $R2
        DetailPrint "Web page allowed: $R6"
      ${EndIf}
    ${EndIf}
    StrCpy $R6 ""
  ${Loop}
FunctionEnd

Section "Programs"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  DetailPrint "Ending the running service"
  Call EndService
  !insertmacro CHECK_WRITABLE ludguard.exe
  !insertmacro CHECK_WRITABLE ludarium.exe
  !insertmacro CHECK_WRITABLE ludstore.exe
  !insertmacro CHECK_WRITABLE ludtablet.exe
  !insertmacro CHECK_WRITABLE uninstall.exe

  ; Only the programs are replaced: log\ and config\ stay as they are.
  SetOverwrite on
  !insertmacro PUT_PROGRAM ludarium.exe
  !insertmacro PUT_PROGRAM ludguard.exe
  !insertmacro PUT_PROGRAM ludstore.exe
  !insertmacro PUT_PROGRAM ludtablet.exe
  RMDir /r "$INSTDIR\www"
!ifdef WWW
  ClearErrors
  File /r "${WWW}"
  ${If} ${Errors}
    StrCpy $failure "$INSTDIR\www could not be written."
    !insertmacro FAIL
  ${EndIf}
!endif

  Call AddOrigins

  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $failure "$INSTDIR\uninstall.exe could not be written."
    !insertmacro FAIL
  ${EndIf}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ludguard.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\ludguard.exe"
  CreateShortcut "${MENU_FOLDER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  ; The firewall entry for ludarium.exe, then the service: ludguard
  ; registers its own autostart value and launches ludarium.
  DetailPrint "Registering ludarium.exe in the firewall"
  ExecWait '"$INSTDIR\ludguard.exe" /install' $0
  DetailPrint "Starting the service"
  Exec '"$INSTDIR\ludguard.exe"'
SectionEnd

; The autostart value ludguard writes, in both registry views: a 32-bit
; ludguard writes it into the 32-bit view, a 64-bit one into the 64-bit view.
Function un.RemoveAutostart
  DeleteRegValue HKLM "${RUN_KEY}" "Ludguard"
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegValue HKLM "${RUN_KEY}" "Ludguard"
    SetRegView 32
    DeleteRegValue HKLM "${RUN_KEY}" "Ludguard"
    SetRegView lastused
  ${EndIf}
FunctionEnd

; Removes a program file; one that cannot be removed is added to $failure.
!macro REMOVE_FILE name
  ClearErrors
  Delete "$INSTDIR\${name}"
  ${If} ${Errors}
    StrCpy $failure "$failure$INSTDIR\${name} is in use and could not be removed. "
  ${EndIf}
!macroend

Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  DetailPrint "Ending the running service"
  Call un.EndService
  ; ludguard removes its autostart value and its firewall entry.
  ${If} ${FileExists} "$INSTDIR\ludguard.exe"
    ExecWait '"$INSTDIR\ludguard.exe" /uninstall' $0
  ${EndIf}
  Call un.RemoveAutostart

  StrCpy $failure ""
  !insertmacro REMOVE_FILE ludarium.exe
  !insertmacro REMOVE_FILE ludguard.exe
  !insertmacro REMOVE_FILE ludstore.exe
  !insertmacro REMOVE_FILE ludtablet.exe
  RMDir /r "$INSTDIR\www"

  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/purge" $1
  ${IfNot} ${Errors}
    DetailPrint "Removing log and config"
    RMDir /r "$INSTDIR\log"
    RMDir /r "$INSTDIR\config"
  ${EndIf}

  Delete "${MENU_FOLDER}\${PRODUCT}.lnk"
  Delete "${MENU_FOLDER}\Uninstall ${PRODUCT}.lnk"
  RMDir "${MENU_FOLDER}"

  ${If} $failure != ""
    ; The entry stays, so the uninstaller can be run again.
    DetailPrint "$failure"
    MessageBox MB_OK|MB_ICONSTOP "$failure" /SD IDOK
    SetErrorLevel 2
    Abort "$failure"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Only when empty: without /purge log\ and config\ keep it.
  RMDir "$INSTDIR"
SectionEnd
