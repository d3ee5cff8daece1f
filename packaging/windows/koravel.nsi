; Koravel for Windows: a per-user install (no administrator rights) in English or Russian,
; whichever the system's language is, with the licences shown, the install folder put on
; the user's PATH if wanted, a Start-menu entry, an Apps & Features entry and an
; uninstaller that takes back what it added.
; makensis -INPUTCHARSET UTF8 -DVERSION=X.Y.Z -DSTAGE=<folder with the files> -DOUTFILE=...
; A 64-bit installer for a 64-bit program, and one that runs where wine has no 32-bit part.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Koravel"
!define ENVIRONMENT_KEY "Environment"
!define PUBLISHER "kelvo"

Name "Koravel"
BrandingText "Koravel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Koravel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!define MUI_ICON "${STAGE}\koravel.ico"
!define MUI_UNICON "${STAGE}\koravel.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

; The notices are for reading, not for agreeing to.
!define MUI_LICENSEPAGE_TEXT_TOP "$(LicenceTop)"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM " "
!insertmacro MUI_PAGE_LICENSE "${STAGE}\THIRD-PARTY-NOTICES.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Started as the Start-menu entry starts it: in the user's Documents\Koravel.
!define MUI_FINISHPAGE_RUN "$INSTDIR\koravel.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--menu"
!define MUI_FINISHPAGE_RUN_TEXT "$(RunKoravel)"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first is the fallback for a system language that is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

; Who it is, in the installer's own file properties.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Koravel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Koravel ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 Koravel developers"


LangString LicenceTop ${LANG_ENGLISH} "Koravel is free software (MIT licence). It carries these components, under their own licences:"
LangString LicenceTop ${LANG_RUSSIAN} "Koravel — свободная программа (лицензия MIT). В неё входят эти компоненты, под их собственными лицензиями:"
LangString SectionPath ${LANG_ENGLISH} "Add to PATH (koravel in cmd.exe and PowerShell)"
LangString SectionPath ${LANG_RUSSIAN} "Добавить в PATH (koravel в cmd.exe и PowerShell)"
LangString RunKoravel ${LANG_ENGLISH} "Run Koravel"
LangString RunKoravel ${LANG_RUSSIAN} "Запустить Koravel"
LangString PathTooLong ${LANG_ENGLISH} "PATH is too long to change safely; it is left as it was."
LangString PathTooLong ${LANG_RUSSIAN} "PATH слишком длинный, чтобы безопасно его изменить; он оставлен как был."

; Where $R1 first occurs in $R0, letter case aside (StrCmp ignores it, as Windows does
; for folder names), in $R2; -1 when it does not.
!macro FIND_FUNCTION prefix
Function ${prefix}Find
  Push $R3
  Push $R4
  StrLen $R3 $R1
  StrCpy $R2 0
  loop:
    StrCpy $R4 $R0 $R3 $R2
    StrCmp $R4 "" missing
    StrCmp $R4 $R1 done
    IntOp $R2 $R2 + 1
    Goto loop
  missing:
    StrCpy $R2 -1
  done:
  Pop $R4
  Pop $R3
FunctionEnd
!macroend
!insertmacro FIND_FUNCTION ""
!insertmacro FIND_FUNCTION "un."

; A PATH that fills NSIS's strings may have been cut when read: it is never written back.
!define PATH_ROOM 2
!macro PATH_FITS length label
  IntOp $R9 ${NSIS_MAX_STRLEN} - ${PATH_ROOM}
  IntCmp ${length} $R9 0 +2 0
  Goto ${label}
!macroend

Section "Koravel" SectionMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\koravel.exe"
  File "${STAGE}\koravel.com"
  File "${STAGE}\koravel.ico"
  File "${STAGE}\README.md"
  File "${STAGE}\README.txt"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\THIRD-PARTY-NOTICES.txt"
  File "${STAGE}\data.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; koravel --menu works in the user's Documents\Koravel; the sample data.ini goes there
  ; once, and a data.ini of the user's is never replaced.
  CreateDirectory "$DOCUMENTS\Koravel"
  IfFileExists "$DOCUMENTS\Koravel\data.ini" +2 0
  CopyFiles /SILENT "$INSTDIR\data.ini" "$DOCUMENTS\Koravel\data.ini"
  CreateShortCut "$SMPROGRAMS\Koravel.lnk" "$INSTDIR\koravel.exe" "--menu" "$INSTDIR\koravel.ico"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Koravel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\koravel.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The install folder goes last on the user's own PATH, unless it is there already; the
; uninstaller takes out only the entry written here.
Section "$(SectionPath)" SectionPath
  ClearErrors
  ReadRegStr $R0 HKCU "${ENVIRONMENT_KEY}" "Path"
  StrLen $R5 $R0
  !insertmacro PATH_FITS $R5 path_too_long
  StrCpy $R0 ";$R0;"
  StrCpy $R1 ";$INSTDIR;"
  Call Find
  IntCmp $R2 -1 0 path_done path_done
  ; The separator written before the entry, if the value did not end in one already.
  ReadRegStr $R0 HKCU "${ENVIRONMENT_KEY}" "Path"
  StrCpy $R7 ";"
  StrCpy $R6 $R0 1 -1
  StrCmp $R0 "" 0 +2
  StrCpy $R7 ""
  StrCmp $R6 ";" 0 +2
  StrCpy $R7 ""
  StrCpy $R1 "$R0$R7$INSTDIR"
  StrLen $R5 $R1
  !insertmacro PATH_FITS $R5 path_too_long
  WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$R1"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "PathEntry" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "PathSeparator" "$R7"
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  Goto path_done
  path_too_long:
    DetailPrint "$(PathTooLong)"
  path_done:
SectionEnd

; The user's data.ini, save.txt and settings stay, as they would after any uninstall.
Section "Uninstall"
  ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "PathEntry"
  StrCmp $R1 "" path_done
  ReadRegStr $R0 HKCU "${ENVIRONMENT_KEY}" "Path"
  StrLen $R5 $R0
  !insertmacro PATH_FITS $R5 path_done
  StrCpy $R0 ";$R0;"
  StrCpy $R1 ";$R1;"
  Call un.Find
  IntCmp $R2 -1 path_done
  ; What stands before the entry's ';' and from the ';' after it, less the separator the
  ; install added, then without the two ';' added around the value here.
  StrCpy $R3 $R0 $R2
  StrLen $R4 $R1
  IntOp $R4 $R4 + $R2
  IntOp $R4 $R4 - 1
  StrCpy $R4 $R0 "" $R4
  ReadRegStr $R5 HKCU "${UNINSTALL_KEY}" "PathSeparator"
  StrCmp $R5 "" 0 +2
  StrCpy $R4 ";$R4"
  StrCpy $R0 "$R3$R4" "" 1
  StrCpy $R0 $R0 -1
  StrCmp $R0 "" 0 +3
  DeleteRegValue HKCU "${ENVIRONMENT_KEY}" "Path"
  Goto +2
  WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$R0"
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  path_done:

  Delete "$SMPROGRAMS\Koravel.lnk"
  Delete "$INSTDIR\koravel.exe"
  Delete "$INSTDIR\koravel.com"
  Delete "$INSTDIR\koravel.ico"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\data.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
