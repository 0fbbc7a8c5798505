; Which folders the setup trusts, and how it makes and empties them. The tool runs with
; administrator rights for every .pak double-click, so its folder, every folder above it and an
; earlier installation the setup deletes from must be ones that standard users (Everyone,
; Authenticated Users, Users, Interactive) can neither change nor own. FolderGuard.exe (GUARD,
; folder_guard_win32.cpp) judges them from their access lists and owners, going down the path
; one folder at a time through handles, never through a link; here is how the setup uses it.
;
; The helpers the setup runs with its rights (FolderGuard.exe, ReadSettings.exe) and what they
; write run from a folder of their own that only Administrators and SYSTEM can change, made
; with that list in one call inside Windows' own temporary folder (where users may add things
; but not remove or rename what others made) and held open without delete sharing while the
; setup runs.

; The install folder's own access list, inheriting nothing ("P"): full control for
; Administrators and SYSTEM, read and execute for Users. A parent folder that lets users write
; (some games loosen theirs) then cannot open this one to them. Administrators own it.
!define INSTALL_FOLDER_ACCESS "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
; The helpers' folder: Administrators and SYSTEM alone.
!define HELPER_FOLDER_ACCESS "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"
; FolderGuard.exe's verdicts (its exit codes), each naming a folder in guard.txt.
!define GUARD_CHANGEABLE 10
!define GUARD_FOREIGN_OWNER 11
!define GUARD_LINK 12
!define GUARD_UNKNOWN 13

Var HelperDir      ; the helpers' folder ("" until made)
Var HelperHold     ; a handle on it
Var FolderReason   ; why the last folder judged is refused, a German sentence ("" when it is not)

; Makes the helpers' folder once, with FolderGuard.exe and ReadSettings.exe in it. A name that
; someone took beforehand is never used: the folder must be one this call made. The caller's
; registers stay as they were: RunGuard holds its arguments in $0 when it first gets here.
Function MakeHelperFolder
  ${If} $HelperDir != ""
    Return
  ${EndIf}
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Call MakeHelperFolderNow
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function MakeHelperFolderNow
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${HELPER_FOLDER_ACCESS}", \
    i 1, *p .r1, p 0) i .r0'
  ${If} $0 = 0
    Return
  ${EndIf}
  ; SECURITY_ATTRIBUTES: its size, the descriptor, no inheritance of the handle
  System::Call '*(i 12, p r1, i 0) p .r2'
  System::Call 'kernel32::GetCurrentProcessId() i .r3'
  ${ForEach} $4 1 20 + 1
    System::Call 'kernel32::CreateDirectoryW(w "$WINDIR\Temp\PakInstaller-$3-$4", p r2) i .r0'
    ${If} $0 <> 0
      StrCpy $HelperDir "$WINDIR\Temp\PakInstaller-$3-$4"
      ${Break}
    ${EndIf}
  ${Next}
  System::Free $2
  System::Call 'kernel32::LocalFree(p r1)'
  ${If} $HelperDir == ""
    Return
  ${EndIf}
  ; FILE_LIST_DIRECTORY | SYNCHRONIZE, shared for reading and writing only, so that it cannot be
  ; renamed away while the setup runs; FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT.
  System::Call 'kernel32::CreateFileW(w "$HelperDir", i 0x100001, i 3, p 0, i 3, i 0x2200000, p 0) p .s'
  Pop $HelperHold
  SetDetailsPrint none
  File "/oname=$HelperDir\FolderGuard.exe" "${GUARD}"
  File "/oname=$HelperDir\ReadSettings.exe" "${READER}"
  SetDetailsPrint lastused
FunctionEnd

; Removes the helpers' folder with what is in it; called on every way out of the setup.
Function RemoveHelperFolder
  ${If} $HelperDir == ""
    Return
  ${EndIf}
  SetOutPath $TEMP  ; the folder must not be the current one to go
  System::Call 'kernel32::CloseHandle(p $HelperHold)'
  Delete "$HelperDir\FolderGuard.exe"
  Delete "$HelperDir\ReadSettings.exe"
  Delete "$HelperDir\guard.txt"
  Delete "$HelperDir\config.pref"
  Delete "$HelperDir\settings.txt"
  RMDir $HelperDir
  StrCpy $HelperDir ""
FunctionEnd

; Runs FolderGuard.exe with `arguments` in the helpers' folder. Stack: arguments -> the verdict
; (0: safe). $FolderReason says why a verdict refuses a folder; it stays empty when the guard
; could not do its work (a folder not made, a file not deleted).
Function RunGuard
  Exch $0
  Push $1
  Push $2
  Call MakeHelperFolder
  StrCpy $FolderReason ""
  ${If} $HelperDir == ""
    StrCpy $0 ${GUARD_UNKNOWN}
    StrCpy $2 "$WINDIR\Temp"
  ${Else}
    SetOutPath $HelperDir
    Delete "$HelperDir\guard.txt"
    ClearErrors
    ExecWait '"$HelperDir\FolderGuard.exe" $0' $0
    ${If} ${Errors}
      StrCpy $0 ${GUARD_UNKNOWN}
    ${EndIf}
    StrCpy $2 ""
    ClearErrors
    FileOpen $1 "$HelperDir\guard.txt" r
    ${IfNot} ${Errors}
      FileReadUTF16LE $1 $2
      FileClose $1
      Push $2
      Call WithoutLineEnd
      Pop $2
    ${EndIf}
  ${EndIf}
  ${Select} $0
    ${Case} 0
    ${Case} ${GUARD_CHANGEABLE}
      StrCpy $FolderReason "Den Ordner $\"$2$\" dürfen auch Benutzer ohne Administratorrechte \
        verändern, so dass sie das Programm austauschen könnten."
    ${Case} ${GUARD_FOREIGN_OWNER}
      StrCpy $FolderReason "Der Ordner $\"$2$\" gehört nicht den Administratoren: Sein Besitzer \
        kann ihn jederzeit für andere Benutzer öffnen."
    ${Case} ${GUARD_LINK}
      StrCpy $FolderReason "$\"$2$\" ist eine Verknüpfung auf einen anderen Ordner."
    ${Case} ${GUARD_UNKNOWN}
      StrCpy $FolderReason "Wer den Ordner $\"$2$\" verändern darf, lässt sich nicht feststellen."
  ${EndSelect}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Stack: a folder -> 1 when it lies inside one of the Program Files folders, else 0: the first,
; quick filter, by name. The folder is absolute and without a trailing backslash
; (FolderWithoutBackslash), so ".." cannot lead out.
Function IsProgramFilesFolder
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $3 0
  ; Both views of a 64-bit Windows, and the short names a folder may be given by.
  ${ForEach} $1 0 3 + 1
    ${Select} $1
      ${Case} 0
        StrCpy $4 $PROGRAMFILES32
      ${Case} 1
        StrCpy $4 $PROGRAMFILES64
      ${Case} 2
        System::Call 'kernel32::GetShortPathNameW(w "$PROGRAMFILES32", w .r4, i ${NSIS_MAX_STRLEN})'
      ${CaseElse}
        System::Call 'kernel32::GetShortPathNameW(w "$PROGRAMFILES64", w .r4, i ${NSIS_MAX_STRLEN})'
    ${EndSelect}
    StrLen $2 "$4\"
    StrCpy $2 $0 $2
    ${If} $4 != ""
    ${AndIf} $2 == "$4\"
      StrCpy $3 1
    ${EndIf}
  ${Next}
  StrCpy $0 $3
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Stack: a folder (absolute, without a trailing backslash) -> 1 when the tool may live there or
; an earlier installation be taken from there: inside a Program Files folder, and neither it (as
; far as it exists) nor any folder above it one that standard users can change or own, nor a
; link. Else 0, with $FolderReason saying why (empty: not inside a Program Files folder).
Function IsProtectedFolder
  Exch $0
  Push $1
  StrCpy $FolderReason ""
  Push $0
  Call IsProgramFilesFolder
  Pop $1
  ${If} $1 == 1
    Push 'judge "$0"'
    Call RunGuard
    Pop $1
  ${Else}
    StrCpy $1 -1
  ${EndIf}
  ${If} $1 == 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Makes the install folder with its own access list (INSTALL_FOLDER_ACCESS) in the same call,
; and every missing folder above it; an existing one gets the list through a handle on it. Each
; folder on the way is judged again as it is opened: refused, nothing is made or changed.
Function MakeInstallFolder
  Push 'make "$INSTDIR" "${INSTALL_FOLDER_ACCESS}"'
  Call RunGuard
  Pop $0
  ${If} $0 != 0
    SetErrorLevel ${EXIT_REFUSED}
    ${If} $FolderReason == ""
      Abort "Der Ordner $INSTDIR kann nicht angelegt werden."
    ${EndIf}
    Abort "In den Ordner $INSTDIR kann PakInstaller nicht installiert werden: $FolderReason"
  ${EndIf}
  DetailPrint "Zugriffsrechte für $INSTDIR: Administratoren und System Vollzugriff, Benutzer \
    Lesen und Ausführen."
FunctionEnd

; Deletes the files of the earlier installation in `dir` and the folder when nothing else is
; left in it, through one handle on the folder that FolderGuard.exe holds from its judgement to
; the last deletion. $0: 0 when that was done, else the verdict that left the files there.
!macro RemoveEarlierFiles dir
  Push 'remove "${dir}" PakInstaller.exe config.pref LIESMICH.txt ${UNINSTALLER}'
  Call RunGuard
  Pop $0
!macroend
