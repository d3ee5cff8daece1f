; Koravel for Windows: a per-user install (no administrator rights), a Start-menu entry
; and an uninstaller. makensis -DVERSION=... -DSTAGE=<folder with the files> -DOUTFILE=...
; A 64-bit installer for a 64-bit program, and one that runs where wine has no 32-bit part.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Koravel"

Name "Koravel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Koravel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
Icon "${STAGE}\koravel.ico"
UninstallIcon "${STAGE}\koravel.ico"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Koravel"
  SetOutPath "$INSTDIR"
  File "${STAGE}\koravel.exe"
  File "${STAGE}\koravel.com"
  File "${STAGE}\koravel.ico"
  File "${STAGE}\README.md"
  File "${STAGE}\LICENSE.txt"
  File "${STAGE}\data.ini"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Koravel reads data.ini and writes save.txt in the folder it starts in: the shortcut
  ; starts it in the user's own Koravel folder, which gets the sample data.ini once.
  CreateDirectory "$DOCUMENTS\Koravel"
  IfFileExists "$DOCUMENTS\Koravel\data.ini" +2 0
  CopyFiles /SILENT "$INSTDIR\data.ini" "$DOCUMENTS\Koravel\data.ini"
  SetOutPath "$DOCUMENTS\Koravel"
  CreateShortCut "$SMPROGRAMS\Koravel.lnk" "$INSTDIR\koravel.exe" "--menu" "$INSTDIR\koravel.ico"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Koravel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\koravel.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's data.ini, save.txt and settings stay, as they would after any uninstall.
Section "Uninstall"
  Delete "$SMPROGRAMS\Koravel.lnk"
  Delete "$INSTDIR\koravel.exe"
  Delete "$INSTDIR\koravel.com"
  Delete "$INSTDIR\koravel.ico"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\data.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
