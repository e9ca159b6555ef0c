; Installer of the Windows screensaver. Built by scripts/package-windows:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder holding yulo.scr and its data> -DOUTFILE=<exe>
;            -DICON=<yulo.ico> -DUNINSTALL_FILES=<.nsh deleting each staged file> yulo.nsi
; Installs into Program Files, puts yulo.scr where the Screen Saver settings list it,
; names the install folder in the registry and adds an uninstaller.

; A 64-bit installer, like the program: its system folder and registry view are the
; program's own, with no redirection in between.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Yulo Screensaver"
!define VENDOR_KEY "Software\velmora"
!define SETTINGS_KEY "${VENDOR_KEY}\screensavers\yulo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Yulo"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Yulo"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A folder typed on the directory page is used as it stands: one that already holds other
; files, and no earlier install of this program, is most likely the user's own.
Function CheckFolder
  IfFileExists "$INSTDIR\uninstall.exe" done
  FindFirst $0 $1 "$INSTDIR\*"
  next:
    StrCmp $1 "" close
    StrCmp $1 "." skip
    StrCmp $1 ".." skip
    FindClose $0
    MessageBox MB_YESNO|MB_ICONQUESTION "$INSTDIR already holds other files.$\r$\nInstall ${PRODUCT} into it anyway?" IDYES done
    Abort
  skip:
    FindNext $0 $1
    Goto next
  close:
  FindClose $0
  done:
FunctionEnd

; The Screen Saver settings keep the listed copy running for their preview, and a running
; program can't be replaced: the user closes them and tries again, or nothing is installed.
; Reporting success with the old program still listed would pair it with the new data.
!macro WaitForListedCopy
  IfFileExists "$SYSDIR\yulo.scr" 0 free
  try:
    ClearErrors
    FileOpen $0 "$SYSDIR\yulo.scr" a
    IfErrors 0 +3
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$SYSDIR\yulo.scr is in use.$\r$\nClose the Screen Saver settings and any running screensaver, then choose Retry." /SD IDCANCEL IDRETRY try
    Abort "$SYSDIR\yulo.scr is in use: nothing was changed."
    FileClose $0
  free:
!macroend

Section "Install"
  !insertmacro WaitForListedCopy
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  ; The copy in the system folder is the one the Screen Saver settings list; it finds its
  ; data through InstallDir_Demo.
  ClearErrors
  CopyFiles /SILENT "$INSTDIR\yulo.scr" "$SYSDIR\yulo.scr"
  IfErrors 0 +2
    Abort "$SYSDIR\yulo.scr could not be written: the install is not finished."
  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir_Demo" "$INSTDIR\"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\yulo.scr"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Each user's own volume setting (under HKEY_CURRENT_USER) is left alone, and so is every
; file in the folder that the install did not put there.
Section "Uninstall"
  ; The listed copy, the install-folder value and the Programs entry belong to the latest
  ; install: after one into another folder that still has its uninstaller, they are that
  ; install's, and its own uninstaller's to remove. A file made here shows through the
  ; value's name when both name this folder, however differently they spell it.
  ReadRegStr $3 HKLM "${SETTINGS_KEY}" "InstallDir_Demo"
  StrCpy $4 "mine"
  StrCmp $3 "" owned
  IfFileExists "$3uninstall.exe" 0 owned
  FileOpen $5 "$INSTDIR\uninstall-check.tmp" w
  FileClose $5
  IfFileExists "$3uninstall-check.tmp" +2
    StrCpy $4 "theirs"
  Delete "$INSTDIR\uninstall-check.tmp"
  StrCmp $4 "theirs" files
  owned:
  !insertmacro WaitForListedCopy
  Delete "$SYSDIR\yulo.scr"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "InstallDir_Demo"
  ; The install may have made the two keys above it too: each goes when nothing else is
  ; left in it (another of the vendor's screensavers keeps its own).
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}\screensavers"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  files:
  !include "${UNINSTALL_FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  StrCmp $4 "theirs" +2
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
