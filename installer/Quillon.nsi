; Setup of Quillon: the converter, its support library, the Address Book's context-menu extension
; (Ferrule) and the mail client's add-in (Gimlet), into Program Files\Brisco\Quillon.
;
; Built by scripts/build-installer.sh, which stages stripped copies of the shipped files:
;   makensis -DSTAGE=<staged files> -DSRCDIR=<source tree> -DOUTDIR=<folder of the setup> Quillon.nsi
;
; Command line of the setup:    /S (silent)  /D=<folder> (last, unquoted, may hold blanks)
; Command line of Uninstall.exe: /S (silent)  /REMOVEUSERDATA (also remove the user's settings and logs)
; Exit codes: 0 done; 1 cancelled by the user; 2 aborted (damaged setup, failed copy);
;   3 Quillon is running; 4 the folder cannot be created or written, or its name cannot be written
;   in the system's ANSI code page; 5 a server did not register;
;   6 a file of ours is in use (the Address Book or the mail client has a server loaded);
;   740 no administrator rights.

Unicode true
SetCompressor /SOLID lzma
; A damaged setup must never install part of itself, whatever its command line says.
CRCCheck force
; A file that cannot be written ends the setup instead of being skipped.
AllowSkipFiles off
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!ifndef STAGE | SRCDIR | OUTDIR
  !error "define STAGE, SRCDIR and OUTDIR (scripts/build-installer.sh does)"
!endif

; The version shown in Add/Remove Programs and in the setup's name is the program's own.
!getdllversion "${STAGE}/Quillon.exe" QVER_
!define VERSION "${QVER_1}.${QVER_2}.${QVER_3}.${QVER_4}"

; The class identifiers come from the servers' own registration scripts and type libraries, so the
; Address Book's list and the clean-up of a half-removed install can never name another class.
!searchparse /file "${SRCDIR}/wabext/Ferrule.rgs" "CLSID = s '" FERRULE_CLSID "'"
!searchparse /file "${SRCDIR}/wabext/Ferrule.rgs" "'TypeLib' = s '" FERRULE_LIBID "'"
; In the type library sources the library's uuid is indented by four, the interface's by eight.
!searchparse /file "${SRCDIR}/wabext/ferrule.idl" "        uuid(" FERRULE_IID ")"
!searchparse /file "${SRCDIR}/mailaddin/Gimlet.rgs" "CLSID = s '" GIMLET_CLSID "'"
!searchparse /file "${SRCDIR}/mailaddin/Gimlet.rgs" "'TypeLib' = s '" GIMLET_LIBID "'"
!searchparse /file "${SRCDIR}/mailaddin/gimlet.idl" "        uuid(" GIMLET_IID ")"

!define PRODUCT "Quillon"
!define MAKER "Brisco"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"
!define EXTCONTEXT_KEY "Software\Microsoft\WAB\WAB4\ExtContext"
!define SETTINGS_KEY "Software\Brisco\Quillon"
!define MUTEX "Brisco.Quillon.Mutex"
!define SHORTCUTS "$SMPROGRAMS\Quillon"

!define EXIT_RUNNING 3
!define EXIT_FOLDER 4
!define EXIT_REGISTER 5
!define EXIT_IN_USE 6
!define EXIT_NOT_ADMIN 740

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTDIR}/QuillonSetup-${VERSION}.exe"
; A 32-bit setup: on 64-bit Windows this is the 32-bit Program Files, where 32-bit hosts find us.
InstallDir "$PROGRAMFILES\${MAKER}\${PRODUCT}"
; An upgrade goes where the earlier version went.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${MAKER} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${MAKER}"

!define MUI_ABORTWARNING
!define MUI_ICON "${SRCDIR}/app/Quillon.ico"
!define MUI_UNICON "${SRCDIR}/app/Quillon.ico"
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_TEXT_TOP "Quillon's settings and logs stay unless you choose to remove them too."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------------------------
; Shared by the setup and the uninstaller (the uninstaller's copies carry the "un." prefix).

; Only administrators may write Program Files and the machine's registry.
!macro QUILLON_REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Quillon's setup needs administrator rights. Sign in as an administrator and run it again." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ADMIN}
    Quit
  ${EndIf}
!macroend

; A running Quillon holds its named mutex; its files must not change under it. Sets $0 to 1 when
; Quillon runs (and the user was told), else 0.
!macro QUILLON_CHECK_RUNNING WHAT
  StrCpy $0 0
  ; SYNCHRONIZE is enough to open it; only its existence matters.
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${MUTEX}") p .r1'
  ${If} $1 P<> 0
    System::Call 'kernel32::CloseHandle(p r1)'
    MessageBox MB_OK|MB_ICONSTOP "Quillon is running. Close Quillon, then ${WHAT} again." /SD IDOK
    StrCpy $0 1
  ${EndIf}
!macroend

!macro QUILLON_CHECK_FILE_FREE FILE
  ${If} $0 = 0
  ${AndIf} ${FileExists} "${FILE}"
    ClearErrors
    FileOpen $R3 "${FILE}" a
    ${If} ${Errors}
      StrCpy $0 1
      StrCpy $R4 "${FILE}"
    ${Else}
      FileClose $R3
    ${EndIf}
  ${EndIf}
!macroend

; A host that has one of our servers loaded (the Address Book, the mail client) keeps its file from
; being written; replacing or removing only the others would leave a mix of versions or a broken
; install. Sets $0 to 1 when a file is in use (and the user was told), else 0.
!macro QUILLON_CHECK_IN_USE DIR WHAT
  StrCpy $0 0
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\Quillon.exe"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\LibBrisco.dll"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\supportedEncodings.txt"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\Quillon.chm"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\Ferrule.DLL"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\Gimlet.dll"
  !insertmacro QUILLON_CHECK_FILE_FREE "${DIR}\launcher.exe"
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONSTOP "Quillon's files cannot be ${WHAT}: $\"$R4$\" is in use. Close the Address Book and the mail client, then try again." /SD IDOK
  ${EndIf}
!macroend

; Our registry keys under HKEY_CLASSES_ROOT. The servers remove them themselves; this is for a
; server file that is already gone, whose keys would otherwise stay behind.
!macro QUILLON_REMOVE_CLASS_KEYS
  DeleteRegKey HKCR "Ferrule.Connect.1"
  DeleteRegKey HKCR "Ferrule.Connect"
  DeleteRegKey HKCR "CLSID\${FERRULE_CLSID}"
  DeleteRegKey HKCR "TypeLib\${FERRULE_LIBID}"
  DeleteRegKey HKCR "Interface\{${FERRULE_IID}}"
  DeleteRegKey HKCR "Gimlet.Addin"
  DeleteRegKey HKCR "CLSID\${GIMLET_CLSID}"
  DeleteRegKey HKCR "TypeLib\${GIMLET_LIBID}"
  DeleteRegKey HKCR "Interface\{${GIMLET_IID}}"
!macroend

; Unregisters a server whose file is there; its self-unregistration also removes its type library.
!macro QUILLON_UNREGISTER FILE
  ${If} ${FileExists} "${FILE}"
    ClearErrors
    UnRegDLL "${FILE}"
    ${If} ${Errors}
      DetailPrint "${FILE} did not unregister itself; its keys are removed by name."
    ${EndIf}
  ${EndIf}
!macroend

!macro QUILLON_DELETE_FILES DIR
  Delete "${DIR}\Quillon.exe"
  Delete "${DIR}\LibBrisco.dll"
  Delete "${DIR}\supportedEncodings.txt"
  Delete "${DIR}\Quillon.chm"
  Delete "${DIR}\Ferrule.DLL"
  Delete "${DIR}\Gimlet.dll"
  Delete "${DIR}\launcher.exe"
!macroend

; Only empty folders go: anything the user put there stays. The maker's folder goes with ours
; when nothing else is in it.
!macro QUILLON_REMOVE_FOLDER DIR
  RMDir "${DIR}"
  ${GetParent} "${DIR}" $R1
  ${GetFileName} "$R1" $R2
  ${If} $R2 == "${MAKER}"
    RMDir "$R1"
  ${EndIf}
!macroend

!macro QUILLON_DELETE_SHORTCUTS
  Delete "${SHORTCUTS}\Export contacts to vCard.lnk"
  Delete "${SHORTCUTS}\Import contacts from vCard.lnk"
  Delete "${SHORTCUTS}\Quillon Help.lnk"
  Delete "${SHORTCUTS}\Uninstall Quillon.lnk"
  RMDir "${SHORTCUTS}"
!macroend

; ---------------------------------------------------------------------------------------------
; Setup

; NSIS quietly takes the default folder when the /D= folder is no usable path (a file on the way,
; a drive that does not exist): the setup would then report success for a place nobody asked for.
; The process's own command line still holds what was asked (NSIS cuts only its copy).
Function CheckRequestedFolder
  System::Call 'kernel32::GetCommandLineW() w .r1'
  StrLen $2 $1
  IntOp $2 $2 - 4
  ${DoWhile} $2 >= 0
    StrCpy $3 $1 4 $2
    ${If} $3 S== " /D="
      IntOp $2 $2 + 4
      StrCpy $3 $1 "" $2
      ${Break}
    ${EndIf}
    IntOp $2 $2 - 1
  ${Loop}
  ${If} $2 < 0
    Return
  ${EndIf}
  ; The folder runs to the end of the line; trailing separators do not make another folder.
  ${DoWhile} $3 != ""
    StrCpy $4 $3 1 -1
    ${If} $4 != "\"
    ${AndIf} $4 != " "
      ${Break}
    ${EndIf}
    StrCpy $3 $3 -1
  ${Loop}
  ${If} $3 != $INSTDIR
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot install into $\"$3$\". Choose another folder." /SD IDOK
    SetErrorLevel ${EXIT_FOLDER}
    Quit
  ${EndIf}
FunctionEnd

; Ferrule, Gimlet and Quillon find and start each other, and Quillon finds its encodings and its
; help, through 8-bit paths in the system's ANSI code page: in a folder whose name that code page
; cannot write, everything would install and register, and then nothing would open. Sets $0 to 1
; when $INSTDIR comes back unchanged from the ANSI code page, else 0.
Function CheckAnsiFolder
  StrCpy $0 1
  ; A system whose ANSI code page is UTF-8 writes every name (and refuses the flag below).
  System::Call 'kernel32::GetACP() i .r1'
  ${If} $1 = 65001
    Return
  ${EndIf}
  ; No best fit (a letter must not become a look-alike); the "m" text is read back through the
  ; same code page, so a character it lacks comes back as its default character.
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$INSTDIR", i -1, m .r1, i ${NSIS_MAX_STRLEN}, p 0, p 0) i .r2'
  ${If} $2 = 0
  ${OrIf} $1 S!= $INSTDIR
    StrCpy $0 0
  ${EndIf}
FunctionEnd

!define ANSI_FOLDER_MESSAGE `Setup cannot install into "$INSTDIR": its name holds characters outside this system's code page for programs that are not Unicode, and Quillon's parts would not find each other there. Choose a folder whose name uses only characters of the system's language.`

Function DirectoryLeave
  Call CheckAnsiFolder
  ${If} $0 = 0
    MessageBox MB_OK|MB_ICONSTOP `${ANSI_FOLDER_MESSAGE}`
    Abort
  ${EndIf}
FunctionEnd

Function .onInit
  SetShellVarContext all
  Call CheckRequestedFolder
  ; The folder page checks what the user chooses; a silent setup has no page.
  ${If} ${Silent}
    Call CheckAnsiFolder
    ${If} $0 = 0
      MessageBox MB_OK|MB_ICONSTOP `${ANSI_FOLDER_MESSAGE}` /SD IDOK
      SetErrorLevel ${EXIT_FOLDER}
      Quit
    ${EndIf}
  ${EndIf}
  !insertmacro QUILLON_REQUIRE_ADMIN
  !insertmacro QUILLON_CHECK_RUNNING "run the setup"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
FunctionEnd

Section "Quillon" SecQuillon
  SectionIn RO
  ; Quillon may have been started while the pages were shown.
  !insertmacro QUILLON_CHECK_RUNNING "run the setup"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_RUNNING}
    Abort
  ${EndIf}

  ; The folder is made and proven writable before anything else changes.
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${IfNot} ${Errors}
    FileOpen $1 "$INSTDIR\~quillon-setup.tmp" w
  ${EndIf}
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup cannot create or write the folder $\"$INSTDIR$\". Choose another folder." /SD IDOK
    SetErrorLevel ${EXIT_FOLDER}
    Abort
  ${EndIf}
  FileClose $1
  Delete "$INSTDIR\~quillon-setup.tmp"
  !insertmacro QUILLON_CHECK_IN_USE "$INSTDIR" "replaced"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}

  ; An earlier version elsewhere is removed by its own uninstaller (the user's data stays), so
  ; that one Add/Remove entry and one registration remain.
  ReadRegStr $2 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $2 != ""
  ${AndIf} $2 != $INSTDIR
  ${AndIf} ${FileExists} "$2\Uninstall.exe"
    DetailPrint "Removing the earlier version from $2"
    ExecWait '"$2\Uninstall.exe" /S _?=$2' $3
    ${If} $3 != 0
      MessageBox MB_OK|MB_ICONSTOP "The earlier version in $\"$2$\" could not be removed. Close Quillon, the Address Book and the mail client, then run the setup again." /SD IDOK
      SetErrorLevel $3
      RMDir "$INSTDIR"
      Abort
    ${EndIf}
    Delete "$2\Uninstall.exe"
    !insertmacro QUILLON_REMOVE_FOLDER "$2"
  ${EndIf}

  ; The earlier version's registration goes before its files are replaced.
  !insertmacro QUILLON_UNREGISTER "$INSTDIR\Ferrule.DLL"
  !insertmacro QUILLON_UNREGISTER "$INSTDIR\Gimlet.dll"

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${STAGE}/Quillon.exe"
  File "${STAGE}/LibBrisco.dll"
  File "${STAGE}/supportedEncodings.txt"
  File "${STAGE}/Quillon.chm"
  File "${STAGE}/Ferrule.DLL"
  File "${STAGE}/Gimlet.dll"
  File "${STAGE}/launcher.exe"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The Add/Remove entry comes before the registration: whatever happens next, the user can
  ; uninstall what is already there.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${MAKER}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quillon.exe,0"
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $4 $5 $6
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $4

  ClearErrors
  RegDLL "$INSTDIR\Ferrule.DLL"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup could not register Ferrule.DLL. Run the setup again, or uninstall Quillon." /SD IDOK
    SetErrorLevel ${EXIT_REGISTER}
    Abort
  ${EndIf}
  RegDLL "$INSTDIR\Gimlet.dll"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "Setup could not register Gimlet.dll. Run the setup again, or uninstall Quillon." /SD IDOK
    SetErrorLevel ${EXIT_REGISTER}
    Abort
  ${EndIf}
  ; The Address Book learns of context-menu extensions from this list: one value per class,
  ; named by its class identifier (the data is not read).
  WriteRegStr HKLM "${EXTCONTEXT_KEY}" "${FERRULE_CLSID}" ""

  CreateDirectory "${SHORTCUTS}"
  CreateShortCut "${SHORTCUTS}\Export contacts to vCard.lnk" "$INSTDIR\Quillon.exe" "-export" "$INSTDIR\Quillon.exe" 0
  CreateShortCut "${SHORTCUTS}\Import contacts from vCard.lnk" "$INSTDIR\Quillon.exe" "-import" "$INSTDIR\Quillon.exe" 0
  CreateShortCut "${SHORTCUTS}\Quillon Help.lnk" "$INSTDIR\Quillon.exe" "-help" "$INSTDIR\Quillon.exe" 0
  CreateShortCut "${SHORTCUTS}\Uninstall Quillon.lnk" "$INSTDIR\Uninstall.exe"
SectionEnd

; ---------------------------------------------------------------------------------------------
; Uninstaller

Section "un.Quillon" SecUnQuillon
  SectionIn RO
  !insertmacro QUILLON_CHECK_RUNNING "uninstall it"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_RUNNING}
    Abort
  ${EndIf}
  !insertmacro QUILLON_CHECK_IN_USE "$INSTDIR" "removed"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_IN_USE}
    Abort
  ${EndIf}
  !insertmacro QUILLON_UNREGISTER "$INSTDIR\Ferrule.DLL"
  !insertmacro QUILLON_UNREGISTER "$INSTDIR\Gimlet.dll"
  !insertmacro QUILLON_REMOVE_CLASS_KEYS
  DeleteRegValue HKLM "${EXTCONTEXT_KEY}" "${FERRULE_CLSID}"
  ; The Address Book's own keys stay unless nothing but our entry made them.
  DeleteRegKey /ifempty HKLM "${EXTCONTEXT_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\WAB\WAB4"
  DeleteRegKey /ifempty HKLM "Software\Microsoft\WAB"

  !insertmacro QUILLON_DELETE_SHORTCUTS
  !insertmacro QUILLON_DELETE_FILES "$INSTDIR"
  Delete "$INSTDIR\Uninstall.exe"
  !insertmacro QUILLON_REMOVE_FOLDER "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

; Unselected unless the user picks it on the components page or passes /REMOVEUSERDATA.
Section /o "un.Remove my Quillon settings and logs" SecUserData
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${MAKER}"
  SetShellVarContext current
  RMDir /r "$APPDATA\${MAKER}\${PRODUCT}"
  RMDir "$APPDATA\${MAKER}"
  SetShellVarContext all
SectionEnd

; After the sections, whose indexes it uses.
Function un.onInit
  SetShellVarContext all
  !insertmacro QUILLON_REQUIRE_ADMIN
  !insertmacro QUILLON_CHECK_RUNNING "uninstall it"
  ${If} $0 = 1
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/REMOVEUSERDATA" $2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecUserData}
  ${EndIf}
FunctionEnd
