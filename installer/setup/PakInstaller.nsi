; The players' setup: installs PakInstaller.exe with its guide, writes config.pref from the
; commented example, lets .pak files open with the tool and registers an uninstaller.
;
; Built by scripts/make-setup, which hands in every input as a define:
;   VERSION  e.g. 1.2.0          EXE     the built PakInstaller.exe
;   CONFIG   the example config.pref, already Windows-1252 with CR LF
;   GUIDE    LIESMICH.txt, likewise   ICON    the tool's icon   OUTFILE  the setup to write
;   READER   ReadSettings.exe, which reads an installed config.pref as the tool does
;   GUARD    FolderGuard.exe, which judges folders by who can change them (FolderGuard.nsh)
;   SIGN     scripts/sign, when the setup and its uninstaller are to be signed
;
; Unattended: Setup.exe /S /GAME=<Morvenholt folder> [/PAKSET=<name>] [/D=<install folder>]
; Options are split as Windows splits a command line, so a value may be quoted, or the whole
; token; /D= comes last and unquoted (makensis reads it before the script does). /GAME may be
; left out only over an earlier installation in a protected folder (FolderGuard.nsh) whose
; config.pref names the game folder; otherwise (also over one elsewhere, which an older version
; allowed), or when the folder does not exist, or when /D names a folder that is not protected,
; nothing is installed and the exit code is 2.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; A file that cannot be replaced (the tool still running) fails the setup rather than being
; skipped, in silent runs too.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define PRODUCT "Morvenholt PakInstaller"
!define PUBLISHER "Morvenholt-Community"
!define PROGID "Morvenholt.AddOn"
!define CLASSES "Software\Classes"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "Deinstallieren.exe"
!define SHCNE_ASSOCCHANGED 0x08000000
!define EXIT_REFUSED 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An earlier installation's folder is offered by .onInit, and only when it is a safe place.
BrandingText "${PRODUCT} ${VERSION}"

; The setup's version is the tool's own (its version resource), which the release is named by.
!getdllversion "${EXE}" TOOL_VERSION_
!define FULL_VERSION "${TOOL_VERSION_1}.${TOOL_VERSION_2}.${TOOL_VERSION_3}.${TOOL_VERSION_4}"
!if "${TOOL_VERSION_1}.${TOOL_VERSION_2}.${TOOL_VERSION_3}" != "${VERSION}"
  !error "PakInstaller.exe is version ${FULL_VERSION}, the release ${VERSION}"
!endif
VIProductVersion "${FULL_VERSION}"
VIFileVersion "${FULL_VERSION}"

Var GameDir        ; the Morvenholt folder, without a trailing backslash
Var PakSet         ; the pak-set folder the tool offers
Var GameGiven      ; 1 when /GAME was on the command line
Var PakSetGiven    ; 1 when /PAKSET was on the command line, with a value
Var GameOption     ; the values of /GAME and /PAKSET as given
Var PakSetOption
Var OldInstall     ; the folder of the installation registered before this setup ("" none)
Var OldSafe        ; 1 when that folder is protected (IsProtectedFolder)
Var LeftFolder     ; the earlier installation's folder when its files were left there
Var OldGameDir     ; the values of an installed config.pref ("" when there is none)
Var OldPakSet
Var SettingsFrom   ; the install folder whose config.pref the values above come from
Var SettingsFile   ; that config.pref ("" when the values come from none)
Var PakOwner       ; another program that opens .pak files, "" when there is none
Var FinishText
; What the setup says of an earlier installation whose files it left (LeftFolder).
!define LEFT_FOLDER_TEXT "Die bisherige Installation in $\"$LeftFolder$\" ist abgemeldet. Ihre \
  Dateien bleiben dort, weil auch andere Benutzer sie verändert haben könnten."
Var PakSetBox

!include FolderGuard.nsh

; ---- Pages ----------------------------------------------------------------------------------

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Dieser Assistent richtet PakInstaller ein. Danach genügt ein \
  Doppelklick auf eine .pak-Datei, um ein Morvenholt-AddOn in einen Pak-Set-Ordner des Spiels \
  zu installieren.$\r$\n$\r$\nDer Assistent fragt nach dem Ordner, in dem Morvenholt \
  installiert ist, und nach dem Pak-Set-Ordner, den PakInstaller vorschlagen soll.$\r$\n$\r$\n\
  Klicken Sie auf Weiter, um fortzufahren."
!insertmacro MUI_PAGE_WELCOME

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE InstallFolderLeave
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Morvenholt-Ordner"
!define MUI_PAGE_HEADER_SUBTEXT "Wo ist Morvenholt installiert?"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Wählen Sie den Ordner, in dem Morvenholt installiert ist. \
  In dessen Pak-Set-Ordner (zum Beispiel pak oder pak64) installiert PakInstaller später die \
  AddOns; die Einrichtung selbst verändert im Spielordner nichts."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Morvenholt-Ordner"
!define MUI_DIRECTORYPAGE_VARIABLE $GameDir
!define MUI_PAGE_CUSTOMFUNCTION_SHOW GameFolderShow
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE GameFolderLeave
!insertmacro MUI_PAGE_DIRECTORY

Page custom PakSetPage PakSetLeave

; The list of what was done shows and stays until the player goes on.
ShowInstDetails show
ShowUninstDetails show
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES

!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPre
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Anleitung anzeigen"
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION ShowGuide
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "German"

VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductVersion" "${FULL_VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "${FULL_VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "Setup von ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "© 2026 ${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_GERMAN} "OriginalFilename" "PakInstaller-${VERSION}-Setup.exe"

; Signed as they are built when scripts/make-setup is given a key: the uninstaller before it is
; packed into the setup, then the setup itself.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1" "${PRODUCT} deinstallieren"' = 0
  !finalize '"${SIGN}" "%1" "Setup von ${PRODUCT}"' = 0
!endif

; ---- Settings -------------------------------------------------------------------------------

; Stack: a line read from a file -> the line without its CR and LF.
Function WithoutLineEnd
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 != "$\r"
    ${AndIf} $1 != "$\n"
      ${Break}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; The values of config.pref in $INSTDIR, when a copy is there, else those of the earlier
; installation that this one replaces; the wizard shows them on its pages. A silent run takes
; them only from the earlier installation, and only where standard users cannot write: a
; config.pref in a folder that no setup registered, or in one anyone could write, may be
; anyone's. ReadSettings.exe is the tool's own settings store, so the values are what the tool
; reads (a UTF-8 byte-order mark, groups, case, blanks); it works on a copy in the helpers'
; folder, whose name no ANSI code page can spoil.
Function ReadInstalledSettings
  StrCpy $OldGameDir ""
  StrCpy $OldPakSet ""
  StrCpy $0 ""
  ${If} ${Silent}
    ${If} $OldSafe == 1
      StrCpy $0 "$OldInstall\config.pref"
    ${EndIf}
  ${ElseIf} ${FileExists} "$INSTDIR\config.pref"
    StrCpy $0 "$INSTDIR\config.pref"
  ${ElseIf} $OldInstall != ""
    StrCpy $0 "$OldInstall\config.pref"
  ${EndIf}
  StrCpy $SettingsFile ""
  ${If} $0 != ""
  ${AndIf} ${FileExists} $0
    Call MakeHelperFolder
  ${AndIf} $HelperDir != ""
    StrCpy $SettingsFile $0
    Delete "$HelperDir\settings.txt"
    CopyFiles /SILENT $0 "$HelperDir\config.pref"
    SetOutPath $HelperDir
    ExecWait '"$HelperDir\ReadSettings.exe" Tavelmark morvenholt_directory default_pakset'
    ClearErrors
    FileOpen $1 "$HelperDir\settings.txt" r
    ${IfNot} ${Errors}
      FileReadUTF16LE $1 $OldGameDir
      FileReadUTF16LE $1 $OldPakSet
      FileClose $1
    ${EndIf}
    Delete "$HelperDir\config.pref"
    Push $OldGameDir
    Call WithoutLineEnd
    Pop $OldGameDir
    Push $OldPakSet
    Call WithoutLineEnd
    Pop $OldPakSet
  ${EndIf}
  Push $OldGameDir
  Call FolderWithoutBackslash
  Pop $OldGameDir
FunctionEnd

; Stack: a folder -> the same folder, absolute and without trailing backslashes.
Function FolderWithoutBackslash
  Exch $0
  Push $1
  ; "D:" alone means the current folder of drive D; as a game folder it is the drive's root.
  StrLen $1 $0
  ${If} $1 == 2
    StrCpy $1 $0 1 1
    ${If} $1 == ":"
      StrCpy $0 "$0\"
    ${EndIf}
  ${EndIf}
  ${If} $0 != ""
    System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .s'
    Exch $2
    ${If} $2 <> 0
      StrCpy $0 $1
    ${EndIf}
    Pop $2
  ${EndIf}
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 != "\"
    ${OrIf} $0 == ""
      ${Break}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; Stack: a text -> 1 when the ANSI code page holds every character of it, else 0.
Function FitsAnsi
  Exch $0
  Push $1
  System::Call 'kernel32::GetACP() i .r1'
  ${If} $1 = 65001
    ; UTF-8 holds every character, and Windows refuses the question below for it.
    StrCpy $0 1
  ${Else}
    ; WC_NO_BEST_FIT_CHARS: Ł does not count as L.
    System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w r0, i -1, p 0, i 0, p 0, *i 0 r1) i .r0'
    ${If} $0 <> 0
    ${AndIf} $1 == 0
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Stack: a folder -> the folder as config.pref can name it in the ANSI code page the tool reads
; it in: its own name, else its short (8.3) name; "" when neither fits, as the nearest letters
; would name another folder.
Function AnsiFolder
  Exch $0
  Push $1
  Push $0
  Call FitsAnsi
  Pop $1
  ${If} $1 != 1
    StrCpy $1 $0
    System::Call 'kernel32::GetShortPathNameW(w r1, w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
    ${If} $1 == 0
      StrCpy $0 ""
    ${EndIf}
    Push $0
    Call FitsAnsi
    Pop $1
    ${If} $1 != 1
      StrCpy $0 ""
    ${EndIf}
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Reads /GAME= and /PAKSET= from the command line, split once as Windows splits it: quotes
; group blanks, and ', ` and / are plain characters. An unquoted value may still hold blanks:
; the arguments after it that are no options are joined to it with one blank each.
Function ReadOptions
  StrCpy $GameGiven 0
  StrCpy $GameOption ""
  StrCpy $PakSetOption ""
  StrCpy $5 ""  ; the option that plain arguments continue
  ; Handed over in a register: in the call's text the command line's quotes would end it.
  StrCpy $0 $CMDLINE
  System::Call 'shell32::CommandLineToArgvW(w r0, *i .r1) p .r0'
  ${If} $0 <> 0
    ${ForEach} $2 1 $1 + 1
      ${If} $2 == $1
        ${Break}
      ${EndIf}
      IntOp $3 $2 * 4  ; the setup is a 32-bit program
      IntOp $3 $0 + $3
      System::Call '*$3(p .r4)'
      System::Call 'kernel32::lstrcpynW(w .r6, p r4, i ${NSIS_MAX_STRLEN})'
      StrCpy $7 $6 6
      StrCpy $8 $6 8
      StrCpy $9 $6 1
      ${If} $7 == "/GAME="
        StrCpy $GameGiven 1
        StrCpy $GameOption $6 "" 6
        StrCpy $5 game
      ${ElseIf} $8 == "/PAKSET="
        StrCpy $PakSetOption $6 "" 8
        StrCpy $5 pakset
      ${ElseIf} $9 == "/"
        StrCpy $5 ""
      ${ElseIf} $5 == game
        StrCpy $GameOption "$GameOption $6"
      ${ElseIf} $5 == pakset
        StrCpy $PakSetOption "$PakSetOption $6"
      ${EndIf}
    ${Next}
    System::Call 'kernel32::LocalFree(p r0)'
  ${EndIf}
  StrCpy $PakSetGiven 0
  ${If} $PakSetOption != ""
    StrCpy $PakSetGiven 1
  ${EndIf}
FunctionEnd

; The game folder and pak-set from the command line, else from an installed config.pref, else
; the defaults.
Function ChooseSettings
  StrCpy $GameDir $OldGameDir
  ${If} $GameGiven == 1
    Push $GameOption
    Call FolderWithoutBackslash
    Pop $GameDir
  ${EndIf}
  StrCpy $PakSet $OldPakSet
  ${If} $PakSetGiven == 1
    StrCpy $PakSet $PakSetOption
  ${EndIf}
  ${If} $PakSet == ""
    StrCpy $PakSet "pak"
  ${EndIf}
FunctionEnd

; Removes a file of the install folder before the setup writes it, so that what it writes is a
; new file of the folder's own, which takes the folder's access list and owner: never a link to
; a file elsewhere, nor a file that someone who could write there made and still controls. A
; file the tool holds open (it is still running) is asked about, as a file that cannot be
; written is.
!macro NewFileAt path
  ${Do}
    Delete "${path}"
    ${IfNot} ${FileExists} "${path}"
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$\"${path}$\" kann nicht ersetzt werden. Läuft \
      PakInstaller noch? Schließen Sie es und klicken Sie auf Wiederholen." /SD IDCANCEL IDRETRY +2
    Abort "$\"${path}$\" kann nicht ersetzt werden."
  ${Loop}
!macroend

; config.pref is the commented example with the two values put in. Unicode NSIS reads and
; writes the ANSI code page here, which is what the tool reads. An installed config.pref whose
; values were read and stay the same keeps every byte as the player wrote it.
Function WriteSettings
  ; Kept in the helpers' folder between reading and writing, where no standard user can change it.
  Call MakeHelperFolder
  ${If} $HelperDir == ""
    Abort "config.pref kann nicht geschrieben werden."
  ${EndIf}
  ${If} $SettingsFile == "$INSTDIR\config.pref"
  ${AndIf} $GameDir == $OldGameDir
  ${AndIf} $PakSet == $OldPakSet
    ; The same bytes, in a new file.
    Delete "$HelperDir\kept.pref"
    CopyFiles /SILENT "$INSTDIR\config.pref" "$HelperDir\kept.pref"
    ${IfNot} ${FileExists} "$HelperDir\kept.pref"
      Abort "config.pref kann nicht gelesen werden."
    ${EndIf}
    !insertmacro NewFileAt "$INSTDIR\config.pref"
    CopyFiles /SILENT "$HelperDir\kept.pref" "$INSTDIR\config.pref"
    ${IfNot} ${FileExists} "$INSTDIR\config.pref"
      Abort "config.pref kann nicht geschrieben werden."
    ${EndIf}
    DetailPrint "config.pref bleibt unverändert."
    Return
  ${EndIf}
  SetDetailsPrint none  ; the template's temporary place means nothing to the player
  File "/oname=$HelperDir\config.pref" "${CONFIG}"
  SetDetailsPrint both
  !insertmacro NewFileAt "$INSTDIR\config.pref"
  ClearErrors
  FileOpen $0 "$HelperDir\config.pref" r
  FileOpen $1 "$INSTDIR\config.pref" w
  ${If} ${Errors}
    Abort "config.pref kann nicht geschrieben werden."
  ${EndIf}
  ${Do}
    ClearErrors
    FileRead $0 $2
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $3 $2 21
    StrCpy $4 $2 15
    ${If} $3 == "morvenholt_directory="
      FileWrite $1 "morvenholt_directory=$GameDir\$\r$\n"
    ${ElseIf} $4 == "default_pakset="
      FileWrite $1 "default_pakset=$PakSet$\r$\n"
    ${Else}
      FileWrite $1 $2
    ${EndIf}
  ${Loop}
  FileClose $0
  FileClose $1
  DetailPrint "config.pref: morvenholt_directory=$GameDir\, default_pakset=$PakSet"
FunctionEnd

; ---- Start and pages ------------------------------------------------------------------------

Function .onInit
  Call ReadOptions
  ReadRegStr $OldInstall HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrCpy $OldSafe 0
  ${If} $OldInstall != ""
    Push $OldInstall
    Call FolderWithoutBackslash
    Pop $OldInstall
    Push $OldInstall
    Call IsProtectedFolder
    Pop $OldSafe
  ${EndIf}
  ; Without /D the earlier installation's folder is offered, unless anyone could write there.
  ${If} $INSTDIR == "$PROGRAMFILES\${PRODUCT}"
  ${AndIf} $OldSafe == 1
    StrCpy $INSTDIR $OldInstall
  ${EndIf}
  Push $INSTDIR
  Call FolderWithoutBackslash
  Pop $INSTDIR
  Call ReadInstalledSettings
  Call ChooseSettings
  StrCpy $SettingsFrom $INSTDIR
  ${If} ${Silent}
    Push $INSTDIR
    Call IsProtectedFolder
    Pop $0
    ${If} $0 != 1
    ${OrIf} $GameDir == ""
    ${OrIfNot} ${FileExists} "$GameDir\*.*"
      Call RemoveHelperFolder
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
    Push $GameDir
    Call AnsiFolder
    Pop $GameDir
    Push $PakSet
    Call FitsAnsi
    Pop $0
    ${If} $GameDir == ""
    ${OrIf} $0 != 1
      Call RemoveHelperFolder
      SetErrorLevel ${EXIT_REFUSED}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; Every way out: the helpers' folder goes with the setup. (A silent run shows no window, so it
; ends through the last two.)
Function .onGUIEnd
  Call RemoveHelperFolder
FunctionEnd

Function .onInstSuccess
  Call RemoveHelperFolder
FunctionEnd

Function .onInstFailed
  Call RemoveHelperFolder
FunctionEnd

; The program runs with administrator rights, so it goes only where standard users cannot
; replace it. A different install folder may hold another copy whose settings the next pages
; offer; the same folder again (the player came back) keeps what the player chose.
Function InstallFolderLeave
  Push $INSTDIR
  Call FolderWithoutBackslash
  Pop $INSTDIR
  Push $INSTDIR
  Call IsProtectedFolder
  Pop $0
  ${If} $0 != 1
  ${AndIf} $FolderReason == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "In den Ordner $\"$INSTDIR$\" kann PakInstaller nicht \
      installiert werden: Dort könnten auch Benutzer ohne Administratorrechte das Programm \
      austauschen.$\r$\n$\r$\nBitte wählen Sie einen Ordner unter $PROGRAMFILES, zum Beispiel \
      $PROGRAMFILES\${PRODUCT}."
    Abort
  ${ElseIf} $0 != 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "In den Ordner $\"$INSTDIR$\" kann PakInstaller nicht \
      installiert werden: $FolderReason$\r$\n$\r$\nBitte wählen Sie einen anderen Ordner."
    Abort
  ${EndIf}
  ${If} $INSTDIR != $SettingsFrom
    Call ReadInstalledSettings
    Call ChooseSettings
    StrCpy $SettingsFrom $INSTDIR
  ${EndIf}
  ${If} $GameDir == ""
    StrCpy $GameDir "$PROGRAMFILES\Morvenholt"
  ${EndIf}
FunctionEnd

Function GameFolderShow
  ; The free space concerns the install folder, not the game's.
  ShowWindow $mui.DirectoryPage.SpaceRequired ${SW_HIDE}
  ShowWindow $mui.DirectoryPage.SpaceAvailable ${SW_HIDE}
FunctionEnd

Function GameFolderLeave
  Push $GameDir
  Call FolderWithoutBackslash
  Pop $GameDir
  ${IfNot} ${FileExists} "$GameDir\*.*"
    MessageBox MB_OK|MB_ICONEXCLAMATION "Den Ordner $\"$GameDir$\" gibt es nicht.$\r$\n$\r$\n\
      Bitte wählen Sie den Ordner, in dem Morvenholt installiert ist."
    Abort
  ${EndIf}
  Push $GameDir
  Call AnsiFolder
  Pop $0
  ${If} $0 == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "Den Ordner $\"$GameDir$\" kann PakInstaller nicht \
      verwenden: Sein Name enthält Zeichen, die Windows für PakInstaller nicht darstellen kann, \
      und einen kurzen Namen (8.3) hat er nicht.$\r$\n$\r$\nBitte benennen Sie den Ordner um \
      oder wählen Sie einen anderen."
    Abort
  ${EndIf}
  StrCpy $GameDir $0
FunctionEnd

; A drop-down of the game folder's sub-folders that also takes a name typed in.
Function PakSetPage
  !insertmacro MUI_HEADER_TEXT "Pak-Set" "Welchen Pak-Set-Ordner soll PakInstaller vorschlagen?"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "PakInstaller fragt bei jedem AddOn nach dem Pak-Set-Ordner \
    und schlägt diesen vor. Sie können ihn dann jedes Mal ändern.$\r$\n$\r$\nPak-Set-Ordner in $GameDir:"
  Pop $0
  ${NSD_CreateComboBox} 0 40u 100% 80u ""
  Pop $PakSetBox
  FindFirst $0 $1 "$GameDir\*.*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} ${FileExists} "$GameDir\$1\*.*"
      ${NSD_CB_AddString} $PakSetBox $1
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ${NSD_SetText} $PakSetBox $PakSet
  nsDialogs::Show
FunctionEnd

Function PakSetLeave
  ${NSD_GetText} $PakSetBox $PakSet
  ${If} $PakSet == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "Bitte geben Sie einen Pak-Set-Ordner an, zum Beispiel pak."
    Abort
  ${EndIf}
  ; config.pref would otherwise name the folder with the nearest letters, another folder.
  Push $PakSet
  Call FitsAnsi
  Pop $0
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONEXCLAMATION "Den Pak-Set-Ordner $\"$PakSet$\" kann PakInstaller nicht \
      verwenden: Sein Name enthält Zeichen, die Windows für PakInstaller nicht darstellen kann.\
      $\r$\n$\r$\nBitte wählen Sie einen anderen Pak-Set-Ordner."
    Abort
  ${EndIf}
FunctionEnd

; The setup runs with administrator rights, and so would every program it starts: the guide
; is handed to the Explorer that already runs for the player, which opens it with the player's
; own rights.
Function ShowGuide
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\LIESMICH.txt"'
FunctionEnd

; The page holds about seven lines: with the folder left, the shorter texts.
Function FinishPre
  ${If} $LeftFolder != ""
    ${If} $PakOwner == ""
      StrCpy $FinishText "PakInstaller ist eingerichtet. Ein Doppelklick auf eine .pak-Datei \
        installiert das AddOn jetzt in Morvenholt."
    ${Else}
      StrCpy $FinishText "PakInstaller ist eingerichtet. .pak-Dateien öffnet aber noch ein \
        anderes Programm (Anleitung, Abschnitt 3)."
    ${EndIf}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\n${LEFT_FOLDER_TEXT}"
  ${ElseIf} $PakOwner == ""
    StrCpy $FinishText "PakInstaller ist eingerichtet. Ein Doppelklick auf eine .pak-Datei \
      installiert das AddOn jetzt in Morvenholt.$\r$\n$\r$\nKlicken Sie auf Fertigstellen, \
      um den Assistenten zu schließen."
  ${Else}
    StrCpy $FinishText "PakInstaller ist eingerichtet. .pak-Dateien öffnet aber noch ein \
      anderes Programm. So wählen Sie PakInstaller: Rechtsklick auf eine .pak-Datei, \
      $\"Öffnen mit$\", $\"Andere App auswählen$\", dann $\"${PRODUCT}$\" wählen und \
      immer damit öffnen lassen (Anleitung, Abschnitt 3)."
  ${EndIf}
FunctionEnd

; ---- Removing an installation --------------------------------------------------------------

; Deletes HKLM\<key> when it holds neither values nor sub-keys: keys that other programs use
; stay.
!macro DeleteKeyIfEmpty key
  ReadRegStr $6 HKLM "${key}" ""
  ; An empty default value is listed as a value without a name: look at the next one too.
  EnumRegValue $7 HKLM "${key}" 0
  EnumRegValue $8 HKLM "${key}" 1
  EnumRegKey $9 HKLM "${key}" 0
  ${If} $6$7$8$9 == ""
    DeleteRegKey HKLM "${key}"
  ${EndIf}
!macroend

; Removes the registry entries of the installation in folder `dir`. The shared ones go only
; while they point at that folder: a newer installation elsewhere may own them by now.
!macro RemoveRegistration dir
  ReadRegStr $0 HKLM "${CLASSES}\${PROGID}\shell\open\command" ""
  ${If} $0 == '"${dir}\PakInstaller.exe" "%1"'
    ReadRegStr $0 HKLM "${CLASSES}\.pak" ""
    ${If} $0 == "${PROGID}"
      ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PreviousPakOwner"
      ${If} $1 == ""
        DeleteRegValue HKLM "${CLASSES}\.pak" ""
      ${Else}
        WriteRegStr HKLM "${CLASSES}\.pak" "" $1
      ${EndIf}
    ${EndIf}
    DeleteRegValue HKLM "${CLASSES}\.pak\OpenWithProgids" "${PROGID}"
    !insertmacro DeleteKeyIfEmpty "${CLASSES}\.pak\OpenWithProgids"
    !insertmacro DeleteKeyIfEmpty "${CLASSES}\.pak"
    DeleteRegKey HKLM "${CLASSES}\${PROGID}"
  ${EndIf}
  ReadRegStr $0 HKLM "${CLASSES}\Applications\PakInstaller.exe\shell\open\command" ""
  ${If} $0 == '"${dir}\PakInstaller.exe" "%1"'
    DeleteRegKey HKLM "${CLASSES}\Applications\PakInstaller.exe"
  ${EndIf}
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == "${dir}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
!macroend

; Removes the installation in folder `dir`: its registry entries, then its files.
!macro RemoveInstallation dir
  !insertmacro RemoveRegistration "${dir}"
  ; Only what the setup put there; the folder goes last and only when nothing else is in it.
  Delete "${dir}\PakInstaller.exe"
  Delete "${dir}\config.pref"
  Delete "${dir}\LIESMICH.txt"
  Delete "${dir}\${UNINSTALLER}"
  RMDir "${dir}"
!macroend

; ---- Installing -----------------------------------------------------------------------------

; .pak opens with the tool unless another program that exists owns it. An owner whose ProgID
; is gone is remembered and given back on uninstall.
Function RegisterPakFiles
  WriteRegStr HKLM "${CLASSES}\${PROGID}" "" "Morvenholt-AddOn"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\PakInstaller.exe,0"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell" "" "open"
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open" "" "Mit PakInstaller installieren"
  ; Quoted, or a folder with two blanks in a row reaches the tool with one.
  WriteRegStr HKLM "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\PakInstaller.exe" "%1"'
  WriteRegNone HKLM "${CLASSES}\.pak\OpenWithProgids" "${PROGID}"
  WriteRegStr HKLM "${CLASSES}\Applications\PakInstaller.exe" "FriendlyAppName" "${PRODUCT}"
  WriteRegNone HKLM "${CLASSES}\Applications\PakInstaller.exe\SupportedTypes" ".pak"
  WriteRegStr HKLM "${CLASSES}\Applications\PakInstaller.exe\DefaultIcon" "" "$INSTDIR\PakInstaller.exe,0"
  WriteRegStr HKLM "${CLASSES}\Applications\PakInstaller.exe\shell\open\command" "" '"$INSTDIR\PakInstaller.exe" "%1"'

  StrCpy $PakOwner ""
  ReadRegStr $0 HKLM "${CLASSES}\.pak" ""
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "PreviousPakOwner"
  ${If} $0 != "${PROGID}"
  ${AndIf} $0 != ""
    ClearErrors
    EnumRegKey $2 HKLM "${CLASSES}\$0" 0
    ${If} ${Errors}
      StrCpy $1 $0
    ${Else}
      StrCpy $PakOwner $0
    ${EndIf}
  ${EndIf}
  ; On Windows 10 and 11 the player's own choice in Explorer outranks every default.
  ReadRegStr $2 HKCU "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.pak\UserChoice" "ProgId"
  ${If} $2 != ""
  ${AndIf} $2 != "${PROGID}"
  ${AndIf} $2 != "Applications\PakInstaller.exe"
    StrCpy $PakOwner $2
  ${EndIf}
  ${If} $PakOwner == ""
    WriteRegStr HKLM "${CLASSES}\.pak" "" "${PROGID}"
    DetailPrint ".pak-Dateien öffnen jetzt mit PakInstaller."
  ${Else}
    ReadRegStr $2 HKLM "${CLASSES}\$PakOwner" ""
    ${If} $2 == ""
      StrCpy $2 $PakOwner
    ${EndIf}
    DetailPrint ".pak-Dateien öffnet weiterhin: $2"
  ${EndIf}
  ${If} $1 != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PreviousPakOwner" $1
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
FunctionEnd

Function RegisterUninstaller
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\PakInstaller.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; The new installation is complete and registered: its files are there and the shell and the
; list of programs name its folder.
Function CheckInstallation
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKLM "${CLASSES}\${PROGID}\shell\open\command" ""
  ${IfNot} ${FileExists} "$INSTDIR\PakInstaller.exe"
  ${OrIfNot} ${FileExists} "$INSTDIR\LIESMICH.txt"
  ${OrIfNot} ${FileExists} "$INSTDIR\config.pref"
  ${OrIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
  ${OrIf} $0 != $INSTDIR
  ${OrIf} $1 != '"$INSTDIR\PakInstaller.exe" "%1"'
    Abort "Die Installation in $INSTDIR ist unvollständig."
  ${EndIf}
FunctionEnd

; An installation elsewhere goes once the new one is complete, so there is one, and a failed
; write leaves the earlier one whole. The setup does it itself rather than running the earlier
; uninstaller, which may lie where anyone could have replaced it. Where standard users could
; change the folder, a link may stand for it and lead to another program's files: there only
; the registry entries go, and the files stay. The folder is judged once more as its files go.
Function RemoveEarlierInstallation
  ${If} $OldInstall == ""
  ${OrIf} $OldInstall == $INSTDIR
    Return
  ${EndIf}
  StrCpy $R0 $OldInstall
  !insertmacro RemoveRegistration $R0
  ${If} $OldSafe == 1
    DetailPrint "Die bisherige Installation in $OldInstall wird entfernt."
    !insertmacro RemoveEarlierFiles $R0
    ${If} $0 == 0
      Return
    ${ElseIf} $FolderReason == ""
      DetailPrint "Nicht alle Dateien in $OldInstall konnten gelöscht werden."
      Return
    ${EndIf}
  ${EndIf}
  StrCpy $LeftFolder $OldInstall
  DetailPrint "${LEFT_FOLDER_TEXT}"
FunctionEnd

Section
  Call MakeInstallFolder
  SetOutPath "$INSTDIR"
  !insertmacro NewFileAt "$INSTDIR\PakInstaller.exe"
  File "/oname=PakInstaller.exe" "${EXE}"
  !insertmacro NewFileAt "$INSTDIR\LIESMICH.txt"
  File "/oname=LIESMICH.txt" "${GUIDE}"
  Call WriteSettings
  !insertmacro NewFileAt "$INSTDIR\${UNINSTALLER}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  Call RegisterPakFiles
  Call RegisterUninstaller
  Call CheckInstallation
  Call RemoveEarlierInstallation
SectionEnd

; ---- Uninstalling ---------------------------------------------------------------------------

Section Uninstall
  !insertmacro RemoveInstallation $INSTDIR
SectionEnd
