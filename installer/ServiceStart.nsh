; Whether the setup program starts the service itself once it is installed.
;
; The service belongs in the desktop session of the teacher who is logged
; on. A deployment tool runs the setup program as SYSTEM, usually in session
; 0, where nobody sees a desktop: a service started from there would have no
; tray, capture the wrong desktop, run with the wrong rights, and its
; single-instance claim would refuse the teacher's own start at the next
; logon. There (and with /NOSTART) the autostart value that "ludguard
; /install" writes starts it at the next logon instead.

; The decision, from the facts alone: $R0 the session id of the setup
; program, $R1 1 when it runs as LocalSystem, $R2 1 for /NOSTART. Out: $R3
; 1 to start, else 0, and $R4 why not.
Function ServiceStartDecision
  StrCpy $R3 0
  ${If} $R2 == 1
    StrCpy $R4 "/NOSTART"
  ${ElseIf} $R1 == 1
    StrCpy $R4 "the setup program runs as SYSTEM"
  ${ElseIf} $R0 == 0
    StrCpy $R4 "the setup program runs in session 0"
  ${Else}
    StrCpy $R3 1
    StrCpy $R4 ""
  ${EndIf}
FunctionEnd

; The facts of this process: $R0 its session id (0 when it cannot be read,
; which then counts as session 0), $R1 1 when its account is LocalSystem.
Function ServiceStartFacts
  Push $R5
  Push $R6
  Push $R7
  StrCpy $R0 0
  StrCpy $R1 0
  System::Call 'kernel32::GetCurrentProcessId() i .R5'
  System::Call 'kernel32::ProcessIdToSessionId(i R5, *i 0 R0) i .R6'
  ${If} $R6 == 0
    StrCpy $R0 0
  ${EndIf}
  ; TOKEN_QUERY (8); TokenUser (1) starts with the pointer to the user's SID;
  ; WinLocalSystemSid is 22.
  System::Call 'kernel32::GetCurrentProcess() p .R5'
  System::Call 'advapi32::OpenProcessToken(p R5, i 8, *p 0 R5) i .R6'
  ${If} $R6 != 0
    System::Alloc 1024
    Pop $R7
    System::Call 'advapi32::GetTokenInformation(p R5, i 1, p R7, i 1024, *i 0) i .R6'
    ${If} $R6 != 0
      System::Call '*$R7(p .R6)'
      System::Call 'advapi32::IsWellKnownSid(p R6, i 22) i .R6'
      ${IfThen} $R6 != 0 ${|} StrCpy $R1 1 ${|}
    ${EndIf}
    System::Free $R7
    System::Call 'kernel32::CloseHandle(p R5)'
  ${EndIf}
  Pop $R7
  Pop $R6
  Pop $R5
FunctionEnd
