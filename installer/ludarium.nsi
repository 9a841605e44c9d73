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
; one in /D=, else the registered one) and waits for it; /NOSTART installs
; without starting the service (the autostart value starts it at the next
; logon, as it does when the setup program runs as SYSTEM or in session 0,
; see ServiceStart.nsh). Uninstaller: /S, /purge also removes log\ and
; config\.
; /ORIGINS=<origin>[,<origin>...] (for example
; /ORIGINS=https://platform.school.example) lists web pages allowed to use
; the classroom from the teacher's browser in config\origins; an existing
; file is kept (an upgrade keeps it) and only the origins it lacks are added.
; Exit codes: 0 done, 1 cancelled, 2 failed (for example a program file that
; another process holds open and that therefore cannot be replaced, a folder
; that holds another program's files; an upgrade then leaves the earlier
; version in place and running), 3 installed and started, but ludarium.exe
; could not be registered in the firewall (tablets cannot connect).
;
; The setup programs of both architectures share one registration, each in
; its own registry view: each finds the other's and replaces it (its
; uninstaller runs first, without /purge), so a PC has one service.
;
; An uninstaller started by itself copies itself out of the folder, starts
; the copy and ends at once with 0, so its caller learns nothing of the
; result; "setup /uninstall" does the same but waits for the copy and
; returns its exit code, and so does QuietUninstallString, which runs the
; uninstaller in place (_?=) and leaves the removal of uninstall.exe itself
; to a copy that waits for its end ("/finish").

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
  !define DEFAULT_DIR "$PROGRAMFILES64\Ludarium"
  Name "${PRODUCT} (64-bit)"
  !define OWN_VIEW 64
  !define OTHER_VIEW 32
  !define OTHER_NAME "32-bit"
!else if "${ARCH}" == "x86"
  Target x86-unicode
  InstallDir "$PROGRAMFILES\Ludarium"
  !define DEFAULT_DIR "$PROGRAMFILES\Ludarium"
  Name "${PRODUCT}"
  !define OWN_VIEW 32
  !define OTHER_VIEW 64
  !define OTHER_NAME "64-bit"
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

Var failure       ; what went wrong, for the message and the details
Var startService  ; 1 when this setup program starts the service (ServiceStart.nsh)
Var startReason   ; why not, when it does not
Var otherDir      ; the folder of the other architecture's installation, or ""
Var ended         ; 1 once the running service of $INSTDIR was ended
Var upgrade       ; 1 when the earlier programs were kept in $PLUGINSDIR\old
Var changed       ; 1 once files of $INSTDIR were replaced

!include "ServiceStart.nsh"

; Ends ludguard (its job ends ludarium with it), then any ludarium started
; on its own, and waits until every program file can be written: a program
; that is still running keeps its file locked. Only the programs of
; $INSTDIR are ended, in every session: a copy started from elsewhere is
; none of ours.
!macro END_SERVICE un
Function ${un}EndService
  Push ludguard.exe
  Call ${un}EndProgram
  Sleep 500
  Push ludarium.exe
  Call ${un}EndProgram
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

; Ends every process whose program is $INSTDIR\<name> (popped).
Function ${un}EndProgram
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  System::Alloc 65536  ; room for 16384 process ids
  Pop $R1
  System::Call 'kernel32::K32EnumProcesses(p R1, i 65536, *i 0 R2) i .R3'
  ${If} $R3 != 0
    IntOp $R2 $R2 / 4
    StrCpy $R4 0
    ${DoWhile} $R4 < $R2
      IntOp $R5 $R4 * 4
      IntPtrOp $R5 $R1 + $R5
      System::Call '*$R5(i .R6)'
      ; PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
      System::Call 'kernel32::OpenProcess(i 0x101001, i 0, i R6) p .R7'
      ${If} $R7 != 0
        System::Call 'kernel32::QueryFullProcessImageNameW(p R7, i 0, w .R8, *i ${NSIS_MAX_STRLEN}) i .R3'
        ${If} $R3 != 0
        ${AndIf} $R8 == "$INSTDIR\$R0"
          DetailPrint "Ending $R8 (process $R6)"
          System::Call 'kernel32::TerminateProcess(p R7, i 1)'
          System::Call 'kernel32::WaitForSingleObject(p R7, i 5000)'
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p R7)'
      ${EndIf}
      IntOp $R4 $R4 + 1
    ${Loop}
  ${EndIf}
  System::Free $R1
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
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

; Fails the installation: puts the earlier version back and starts it again
; (Rollback), a message (the default answer in silent mode), exit code 2.
!macro FAIL
  Call Rollback
  DetailPrint "$failure"
  MessageBox MB_OK|MB_ICONSTOP "$failure" /SD IDOK
  SetErrorLevel 2
  Abort "$failure"
!macroend

; Fails before anything is changed when a program of an earlier version
; cannot be replaced.
!macro CHECK_WRITABLE name
  Push ${name}
  Call Writable
  Pop $0
  ${If} $0 != 1
    StrCpy $failure "$INSTDIR\${name} is in use and cannot be replaced."
    !insertmacro FAIL
  ${EndIf}
!macroend

; After a failure: the earlier programs and pages back in place (or, for a
; first installation, the new ones removed), and the service that was ended
; for the upgrade started again where this setup program may start it.
Function Rollback
  ${If} $changed == 1
    ${If} $upgrade == 1
      DetailPrint "Restoring the earlier version"
      RMDir /r "$INSTDIR\www"
      CopyFiles /SILENT "$PLUGINSDIR\old\*.*" "$INSTDIR"
    ${Else}
      Delete "$INSTDIR\ludarium.exe"
      Delete "$INSTDIR\ludguard.exe"
      Delete "$INSTDIR\ludstore.exe"
      Delete "$INSTDIR\ludtablet.exe"
      RMDir /r "$INSTDIR\www"
      RMDir "$INSTDIR"
    ${EndIf}
  ${EndIf}
  ${If} $ended == 1
  ${AndIf} $startService == 1
  ${AndIf} ${FileExists} "$INSTDIR\ludguard.exe"
    Exec '"$INSTDIR\ludguard.exe"'
  ${EndIf}
FunctionEnd

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

  ClearErrors
  ${GetOptions} $R0 "/NOSTART" $R1
  StrCpy $R2 1
  ${IfThen} ${Errors} ${|} StrCpy $R2 0 ${|}
  Call ServiceStartFacts
  Call ServiceStartDecision
  StrCpy $startService $R3
  StrCpy $startReason $R4

  ; The other architecture's installation: replaced by this one, which goes
  ; into its folder (keeping its log\ and config\) unless this one is
  ; installed already or /D= names another.
  StrCpy $otherDir ""
  ${If} ${RunningX64}
    SetRegView ${OTHER_VIEW}
    ReadRegStr $otherDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView ${OWN_VIEW}
  ${EndIf}
  ReadRegStr $R1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $otherDir != ""
  ${AndIf} $R1 == ""
  ${AndIf} $INSTDIR == "${DEFAULT_DIR}"
    StrCpy $INSTDIR $otherDir
  ${EndIf}
FunctionEnd

; A folder that holds files of another program is refused: the uninstaller
; empties www\, log\ and config\ of its folder. Ours is a folder that is
; absent, registered (by either architecture), or holds nothing but what an
; installation puts there (as after an uninstall that kept log\ and config\).
Function CheckFolder
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    Return
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == $INSTDIR
  ${OrIf} $otherDir == $INSTDIR
    Return
  ${EndIf}
  StrCpy $R2 ""
  FindFirst $R0 $R1 "$INSTDIR\*.*"
  ${DoWhile} $R1 != ""
    ${If} $R1 != "."
    ${AndIf} $R1 != ".."
      ${If} $R1 != "ludarium.exe"
      ${AndIf} $R1 != "ludguard.exe"
      ${AndIf} $R1 != "ludstore.exe"
      ${AndIf} $R1 != "ludtablet.exe"
      ${AndIf} $R1 != "uninstall.exe"
      ${AndIf} $R1 != "www"
      ${AndIf} $R1 != "log"
      ${AndIf} $R1 != "config"
        StrCpy $R2 $R1
        ${ExitDo}
      ${EndIf}
    ${EndIf}
    FindNext $R0 $R1
  ${Loop}
  FindClose $R0
  ${If} $R2 != ""
    StrCpy $failure "$INSTDIR holds files that are not of ${PRODUCT} ($R2): choose an empty folder or the folder of its installation."
    !insertmacro FAIL
  ${EndIf}
FunctionEnd

; Runs the other architecture's uninstaller (without /purge) and waits for
; it; its registration goes with it.
Function ReplaceOther
  ${If} $otherDir == ""
    Return
  ${EndIf}
  DetailPrint "Replacing the ${OTHER_NAME} installation in $otherDir"
  ${If} ${FileExists} "$otherDir\uninstall.exe"
    ClearErrors
    CopyFiles /SILENT "$otherDir\uninstall.exe" "$PLUGINSDIR\other-uninstall.exe"
    ExecWait '"$PLUGINSDIR\other-uninstall.exe" /S _?=$otherDir' $R0
    ${If} ${Errors}
    ${OrIf} $R0 != 0
      StrCpy $failure "The ${OTHER_NAME} installation in $otherDir could not be removed: remove it first."
      !insertmacro FAIL
    ${EndIf}
  ${EndIf}
  SetRegView ${OTHER_VIEW}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView ${OWN_VIEW}
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
  InitPluginsDir
  Call CheckFolder
  Call ReplaceOther
  SetOutPath "$INSTDIR"
  DetailPrint "Ending the running service"
  Call EndService
  StrCpy $ended 1
  !insertmacro CHECK_WRITABLE ludguard.exe
  !insertmacro CHECK_WRITABLE ludarium.exe
  !insertmacro CHECK_WRITABLE ludstore.exe
  !insertmacro CHECK_WRITABLE ludtablet.exe
  !insertmacro CHECK_WRITABLE uninstall.exe

  ; A copy of the earlier version, for Rollback.
  ${If} ${FileExists} "$INSTDIR\ludguard.exe"
    ClearErrors
    CreateDirectory "$PLUGINSDIR\old"
    CopyFiles /SILENT "$INSTDIR\*.exe" "$PLUGINSDIR\old"
    ${If} ${FileExists} "$INSTDIR\www\*.*"
      CopyFiles /SILENT "$INSTDIR\www" "$PLUGINSDIR\old"
    ${EndIf}
    ${If} ${Errors}
      StrCpy $failure "The installed version in $INSTDIR could not be copied aside; nothing was changed."
      !insertmacro FAIL
    ${EndIf}
    StrCpy $upgrade 1
  ${EndIf}
  StrCpy $changed 1

  ; Only the programs are replaced: log\ and config\ stay as they are.
  SetOverwrite on
  !insertmacro PUT_PROGRAM ludarium.exe
  !insertmacro PUT_PROGRAM ludguard.exe
  !insertmacro PUT_PROGRAM ludstore.exe
  !insertmacro PUT_PROGRAM ludtablet.exe
  RMDir /r "$INSTDIR\www"
!ifdef WWW
  ; The folder's contents: "File /r <folder>" would take every folder of
  ; that name below the folder's parent.
  ClearErrors
  SetOutPath "$INSTDIR\www"
  File /r "${WWW}/*.*"
  ${If} ${Errors}
    StrCpy $failure "$INSTDIR\www could not be written."
    !insertmacro FAIL
  ${EndIf}
  SetOutPath "$INSTDIR"
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
  ; In place, so that it waits and returns the uninstaller's exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\ludguard.exe"
  CreateShortcut "${MENU_FOLDER}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  ; The firewall entry for ludarium.exe and ludguard's autostart value, then
  ; the service: ludguard launches ludarium.
  DetailPrint "Registering ludarium.exe in the firewall"
  ClearErrors
  ExecWait '"$INSTDIR\ludguard.exe" /install' $0
  ${IfThen} ${Errors} ${|} StrCpy $0 2 ${|}
  ${If} $startService == 1
    DetailPrint "Starting the service"
    Exec '"$INSTDIR\ludguard.exe"'
  ${Else}
    DetailPrint "The service starts at the next logon, not now: $startReason."
  ${EndIf}
  ${If} $0 != 0
    StrCpy $failure "ludarium.exe could not be registered in the Windows Firewall (ludguard /install: $0; see $INSTDIR\log\Ludguard.log). Tablets cannot connect to this PC until it is."
    DetailPrint "$failure"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$failure" /SD IDOK
    SetErrorLevel 3
  ${EndIf}
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
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/finish" $R1
  ${IfNot} ${Errors}
    Call un.Finish
  ${EndIf}
FunctionEnd

; "/finish" (a copy in the temporary folder, started by an uninstaller that
; ran in place): once that has ended, removes its uninstall.exe and the
; folder if empty, then itself at the next restart.
Function un.Finish
  StrCpy $R1 0
  ${Do}
    Delete "$INSTDIR\uninstall.exe"
    ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
      ${ExitDo}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${IfThen} $R1 >= 240 ${|} ${ExitDo} ${|}
    Sleep 250
  ${Loop}
  RMDir "$INSTDIR"
  Delete /REBOOTOK "$EXEPATH"
  Quit
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
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $EXEDIR == $INSTDIR
    ; Running in place (QuietUninstallString): this program's file cannot
    ; go while it runs; a copy removes it once this one has ended.
    GetTempFileName $R0
    ClearErrors
    CopyFiles /SILENT "$EXEPATH" "$R0"
    ${IfNot} ${Errors}
      Exec '"$R0" /finish _?=$INSTDIR'
    ${EndIf}
  ${Else}
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: without /purge log\ and config\ keep it.
    RMDir "$INSTDIR"
  ${EndIf}
SectionEnd
