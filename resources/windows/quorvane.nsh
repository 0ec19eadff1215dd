; What Quorvane's Windows installer needs that CPack's NSIS template has no setting for: the
; replacement of an installed version, "Open with" for list files, the optional PATH entry and
; the uninstall entry's remaining values. Included at the top of the script CPack generates
; (cmake/windows_installer.cmake), which defines QUORVANE_INSTALL_KEY and QUORVANE_UNINSTALLER.
;
; Silent use:  Quorvane-<version>-win64.exe /S [/ADDTOPATH | /ADDTOPATH=0] [/D=FOLDER]
;              "<folder>\Uninstall.exe" /S
; Without /ADDTOPATH the PATH entry is kept as the installed version had it (none for a first
; installation). The user's settings (HKCU\Software\Kelvarn\Quorvane) are never touched.

!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

!define QUORVANE_UNINSTALL_KEY \
  "Software\Microsoft\Windows\CurrentVersion\Uninstall\${QUORVANE_INSTALL_KEY}"
!define QUORVANE_PROGID "Kelvarn.Quorvane.List"
!define QUORVANE_APPLICATION_KEY "Software\Classes\Applications\quorvane.exe"
!define QUORVANE_APP_PATH_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\quorvane.exe"
!define QUORVANE_MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define QUORVANE_USER_ENVIRONMENT "Environment"
; The predefined keys as a 64-bit program passes them (sign-extended), and KEY_READ | KEY_WRITE.
!define QUORVANE_HKEY_LOCAL_MACHINE -2147483646
!define QUORVANE_HKEY_CURRENT_USER -2147483647
!define QUORVANE_KEY_READ_WRITE 0x2001F
!define QUORVANE_SHCNE_ASSOCCHANGED 0x08000000

Var QuorvanePathWanted     ; "1": add bin\ to the PATH
Var QuorvanePathDefaulted  ; "1" once the components page has taken the default

;--------------------------------
; The PATH entry
;
; PATH may be far longer than the 1,024 characters an NSIS string holds, and reading it into one
; would cut it. So it is read, searched and rewritten only in buffers of its own size, through
; the Windows registry API; NSIS strings hold just the folder. The uninstall entry records which
; folder was added to which PATH, so that the uninstaller takes out exactly that and nothing else.

; Chooses the PATH key for this installation: the system's for all users, else the user's.
; Out: $R0 the predefined key, $R1 the subkey, $R3 "machine" or "user".
!macro QuorvanePathKey SCOPE
  ${If} ${SCOPE} == "user"
    StrCpy $R0 ${QUORVANE_HKEY_CURRENT_USER}
    StrCpy $R1 "${QUORVANE_USER_ENVIRONMENT}"
    StrCpy $R3 "user"
  ${Else}
    StrCpy $R0 ${QUORVANE_HKEY_LOCAL_MACHINE}
    StrCpy $R1 "${QUORVANE_MACHINE_ENVIRONMENT}"
    StrCpy $R3 "machine"
  ${EndIf}
!macroend

; Opens the key $R0\$R1 and reads its value Path into a new buffer with room for $R4 more
; characters. Out: $0 0 on success (else a Windows error code; nothing is left open), $1 the open
; key, $2 the value's type, $3 its size in bytes (0: no Path value yet), $4 the buffer's size in
; bytes, $6 the buffer (the value, ended by a NUL).
!macro QuorvaneReadPath
  System::Call \
    'advapi32::RegOpenKeyExW(p R0, w R1, i 0, i ${QUORVANE_KEY_READ_WRITE}, *p .r1) i .r0'
  ${If} $0 = 0
    System::Call 'advapi32::RegQueryValueExW(p r1, w "Path", p 0, *i .r2, p 0, *i 0 r3) i .r0'
    ${If} $0 = 2  ; ERROR_FILE_NOT_FOUND: no PATH yet
      StrCpy $0 0
      StrCpy $2 2  ; REG_EXPAND_SZ, as Windows keeps PATH
      StrCpy $3 0
    ${ElseIf} $0 = 0
    ${AndIf} $2 <> 1  ; REG_SZ
    ${AndIf} $2 <> 2  ; REG_EXPAND_SZ
      StrCpy $0 13  ; ERROR_INVALID_DATA: not text, left alone
    ${EndIf}
  ${EndIf}
  ${If} $0 = 0
    ; The value, room for the addition, two separators and two NULs.
    IntOp $4 $R4 + 4
    IntOp $4 $4 * 2
    IntOp $4 $4 + $3
    System::Alloc $4
    Pop $6
    ${If} $3 > 0
      StrCpy $5 $3
      System::Call 'advapi32::RegQueryValueExW(p r1, w "Path", p 0, p 0, p r6, *i r5 r5) i .r0'
      ; A value that grew since its size was asked (ERROR_MORE_DATA) is not written back.
    ${EndIf}
    ${If} $0 = 0
      ; A registry string need not end in a NUL.
      IntPtrOp $5 $6 + $3
      System::Call '*$5(&i2 0)'
    ${Else}
      System::Free $6
    ${EndIf}
  ${EndIf}
  ${If} $0 <> 0
  ${AndIf} $1 <> 0
    System::Call 'advapi32::RegCloseKey(p r1)'
  ${EndIf}
!macroend

; Writes the text in buffer $8 as the value Path of the open key $1, of type $2; frees $6 and $7
; and closes $1. Out: $0 0 on success.
!macro QuorvaneWritePath
  System::Call 'kernel32::lstrlenW(p r8) i .r5'
  IntOp $5 $5 + 1
  IntOp $5 $5 * 2
  System::Call 'advapi32::RegSetValueExW(p r1, w "Path", i 0, i r2, p r8, i r5) i .r0'
  System::Free $6
  System::Free $7
  System::Call 'advapi32::RegCloseKey(p r1)'
  ${If} $0 = 0
    ; Programs started from now on (Explorer's too) see the new PATH.
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
!macroend

; Adds $INSTDIR\bin to the PATH of this installation's scope, unless it holds that folder already,
; and records what it added in the uninstall entry.
Function QuorvaneAddToPath
  ${If} $SV_ALLUSERS == "AllUsers"
    !insertmacro QuorvanePathKey "machine"
  ${Else}
    !insertmacro QuorvanePathKey "user"
  ${EndIf}
  StrCpy $R2 "$INSTDIR\bin"
  StrLen $R4 $R2
  StrCpy $1 0
  !insertmacro QuorvaneReadPath
  ${If} $0 <> 0
    DetailPrint "PATH not changed: it could not be read (error $0)"
    Return
  ${EndIf}
  ; ";PATH;" holds ";folder;" exactly when the folder is one of PATH's entries.
  ; The same size holds ";PATH;".
  System::Alloc $4
  Pop $7
  System::Call 'kernel32::lstrcpyW(p r7, w ";")'
  System::Call 'kernel32::lstrcatW(p r7, p r6)'
  System::Call 'kernel32::lstrcatW(p r7, w ";")'
  StrCpy $9 ";$R2;"
  System::Call 'shlwapi::StrStrIW(p r7, w r9) p .r8'
  ${If} $8 <> 0
    DetailPrint "PATH holds $R2 already"
    System::Free $6
    System::Free $7
    System::Call 'advapi32::RegCloseKey(p r1)'
    Return
  ${EndIf}
  ; The folder at the end, after a separator unless PATH is empty or ends in one.
  System::Call 'kernel32::lstrlenW(p r6) i .r5'
  ${If} $5 > 0
    IntOp $5 $5 - 1
    IntOp $5 $5 * 2
    IntPtrOp $5 $6 + $5
    System::Call '*$5(&i2 .r5)'
    ${If} $5 <> 59  ; ';'
      System::Call 'kernel32::lstrcatW(p r6, w ";")'
    ${EndIf}
  ${EndIf}
  System::Call 'kernel32::lstrcatW(p r6, w R2)'
  StrCpy $8 $6
  !insertmacro QuorvaneWritePath
  ${If} $0 = 0
    WriteRegStr SHCTX "${QUORVANE_UNINSTALL_KEY}" "PathEntry" "$R2"
    WriteRegStr SHCTX "${QUORVANE_UNINSTALL_KEY}" "PathScope" "$R3"
    DetailPrint "Added to the PATH: $R2"
  ${Else}
    DetailPrint "PATH not changed: it could not be written (error $0)"
  ${EndIf}
FunctionEnd

; Takes the folder that the installation added out of the PATH it added it to, every time it
; occurs there, and leaves the rest of PATH as it was.
Function un.QuorvaneRemoveFromPath
  ReadRegStr $R2 SHCTX "${QUORVANE_UNINSTALL_KEY}" "PathEntry"
  ${If} $R2 == ""
    Return
  ${EndIf}
  ReadRegStr $R3 SHCTX "${QUORVANE_UNINSTALL_KEY}" "PathScope"
  !insertmacro QuorvanePathKey $R3
  StrCpy $R4 0
  StrCpy $1 0
  !insertmacro QuorvaneReadPath
  ${If} $0 <> 0
    DetailPrint "PATH not changed: it could not be read (error $0)"
    Return
  ${EndIf}
  ; The same size holds ";PATH;".
  System::Alloc $4
  Pop $7
  System::Call 'kernel32::lstrcpyW(p r7, w ";")'
  System::Call 'kernel32::lstrcatW(p r7, p r6)'
  System::Call 'kernel32::lstrcatW(p r7, w ";")'
  ; In ";PATH;" each ";folder;" loses ";folder", the separator after it staying.
  StrCpy $9 ";$R2;"
  StrLen $R5 $R2
  IntOp $R5 $R5 + 1
  IntOp $R5 $R5 * 2
  StrCpy $R6 0
  ${Do}
    System::Call 'shlwapi::StrStrIW(p r7, w r9) p .r8'
    ${If} $8 = 0
      ${Break}
    ${EndIf}
    IntPtrOp $R7 $8 + $R5
    System::Call 'kernel32::lstrlenW(p R7) i .r5'
    IntOp $5 $5 + 1
    IntOp $5 $5 * 2
    System::Call 'kernel32::RtlMoveMemory(p r8, p R7, p r5)'
    StrCpy $R6 1
  ${Loop}
  ${If} $R6 = 0
    DetailPrint "PATH does not hold $R2"
    System::Free $6
    System::Free $7
    System::Call 'advapi32::RegCloseKey(p r1)'
    Return
  ${EndIf}
  ; Without the ";" put at either end: what is left between them.
  System::Call 'kernel32::lstrlenW(p r7) i .r5'
  ${If} $5 >= 2
    IntOp $5 $5 - 1
    IntOp $5 $5 * 2
    IntPtrOp $5 $7 + $5
    System::Call '*$5(&i2 0)'
    IntPtrOp $8 $7 + 2
  ${Else}
    System::Call '*$7(&i2 0)'
    StrCpy $8 $7
  ${EndIf}
  !insertmacro QuorvaneWritePath
  ${If} $0 = 0
    DetailPrint "Taken out of the PATH: $R2"
  ${Else}
    DetailPrint "PATH not changed: it could not be written (error $0)"
  ${EndIf}
FunctionEnd

; Whether the PATH entry is wanted unless the user says otherwise: as /ADDTOPATH or /ADDTOPATH=0
; on the command line says, else as the installed version has it. Out: $0 "1" or "".
Function QuorvanePathDefault
  StrCpy $0 ""
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/ADDTOPATH" $2
  ${IfNot} ${Errors}
    ${If} $2 != "=0"
      StrCpy $0 1
    ${EndIf}
    Return
  ${EndIf}
  ReadRegStr $2 SHCTX "${QUORVANE_UNINSTALL_KEY}" "PathEntry"
  ${If} $2 != ""
    StrCpy $0 1
  ${EndIf}
FunctionEnd

;--------------------------------
; Sections and the components page

; The optional part, where CPack puts its components' sections: it runs before the core
; installation, and only notes the choice, which the core installation carries out.
!macro QuorvaneSections
  Section /o "Add to the PATH" QuorvanePathSection
    StrCpy $QuorvanePathWanted 1
  SectionEnd

  ; Before the page is first shown it ticks the box when the default is to add the entry.
  Function QuorvaneComponentsPre
    ${If} $QuorvanePathDefaulted != 1
      StrCpy $QuorvanePathDefaulted 1
      Call QuorvanePathDefault
      ${If} $0 == 1
        !insertmacro SelectSection ${QuorvanePathSection}
      ${EndIf}
    ${EndIf}
  FunctionEnd

  !insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${QuorvanePathSection} \
      "Adds the program folder to the PATH, so that a console runs quorvane-cli by its name."
  !insertmacro MUI_FUNCTION_DESCRIPTION_END
!macroend

;--------------------------------
; Installation

; At the start of the core installation, before its files: a silent installation takes the PATH
; choice from its default; then an installed version is uninstalled (silently, in its folder),
; so that no file of it stays behind. Its uninstaller leaves the user's settings alone.
!macro QuorvanePreinstall
  ${If} ${Silent}
    Call QuorvanePathDefault
    StrCpy $QuorvanePathWanted $0
  ${EndIf}
  Call QuorvaneRemoveInstalledVersion
!macroend

Function QuorvaneRemoveInstalledVersion
  ReadRegStr $0 SHCTX "${QUORVANE_UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\${QUORVANE_UNINSTALLER}"
    Return
  ${EndIf}
  DetailPrint "Uninstalling the installed version from $0"
  ClearErrors
  ; _?= runs the uninstaller where it is and waits for it.
  ExecWait '"$0\${QUORVANE_UNINSTALLER}" /S _?=$0' $1
  ${If} ${Errors}
  ${OrIf} $1 <> 0
    DetailPrint "The installed version's uninstaller failed ($1); its files are overwritten"
  ${EndIf}
  ; Run in place, the uninstaller leaves itself behind.
  ${If} $0 != $INSTDIR
    Delete "$0\${QUORVANE_UNINSTALLER}"
    RMDir "$0"
  ${EndIf}
FunctionEnd

; Registers one file type for "Open with": the type lists the ProgID among those that open it,
; and the program lists the type. The type's default program stays as it is.
!macro QuorvaneOpenWith EXTENSION
  WriteRegStr SHCTX "Software\Classes\${EXTENSION}\OpenWithProgids" "${QUORVANE_PROGID}" ""
  WriteRegStr SHCTX "${QUORVANE_APPLICATION_KEY}\SupportedTypes" "${EXTENSION}" ""
!macroend

!macro QuorvaneOpenCommand KEY
  WriteRegStr SHCTX "${KEY}\DefaultIcon" "" '"$INSTDIR\bin\quorvane.exe",0'
  ; Several files chosen together open in one window.
  WriteRegStr SHCTX "${KEY}\shell\open" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "${KEY}\shell\open\command" "" '"$INSTDIR\bin\quorvane.exe" "%1"'
!macroend

; At the end of the core installation, once its files and CPack's uninstall entry are there.
Function QuorvaneRegister
  WriteRegStr SHCTX "${QUORVANE_UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\${QUORVANE_UNINSTALLER}" /S'
  WriteRegStr SHCTX "${QUORVANE_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${QUORVANE_UNINSTALL_KEY}" "EstimatedSize" $0
  ; CPack writes these as text; Windows reads numbers: no Change or Repair button.
  WriteRegDWORD SHCTX "${QUORVANE_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${QUORVANE_UNINSTALL_KEY}" "NoRepair" 1

  WriteRegStr SHCTX "Software\Classes\${QUORVANE_PROGID}" "" "Quorvane list"
  !insertmacro QuorvaneOpenCommand "Software\Classes\${QUORVANE_PROGID}"
  WriteRegStr SHCTX "${QUORVANE_APPLICATION_KEY}" "FriendlyAppName" "Quorvane"
  !insertmacro QuorvaneOpenCommand "${QUORVANE_APPLICATION_KEY}"
  !insertmacro QuorvaneOpenWith ".txt"
  !insertmacro QuorvaneOpenWith ".csv"
  ; Run (Win+R) and "start quorvane" find the program without PATH.
  WriteRegStr SHCTX "${QUORVANE_APP_PATH_KEY}" "" "$INSTDIR\bin\quorvane.exe"
  System::Call 'shell32::SHChangeNotify(i ${QUORVANE_SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

  ${If} $QuorvanePathWanted == 1
    Call QuorvaneAddToPath
  ${EndIf}
FunctionEnd

;--------------------------------
; Uninstallation, before CPack's part removes the files and the uninstall entry

Function un.QuorvaneUnregister
  Call un.QuorvaneRemoveFromPath
  DeleteRegKey SHCTX "Software\Classes\${QUORVANE_PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.txt\OpenWithProgids" "${QUORVANE_PROGID}"
  DeleteRegValue SHCTX "Software\Classes\.csv\OpenWithProgids" "${QUORVANE_PROGID}"
  DeleteRegKey SHCTX "${QUORVANE_APPLICATION_KEY}"
  DeleteRegKey SHCTX "${QUORVANE_APP_PATH_KEY}"
  System::Call 'shell32::SHChangeNotify(i ${QUORVANE_SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
FunctionEnd
