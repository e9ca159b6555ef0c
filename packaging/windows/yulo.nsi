; Installer of the Windows screensaver. Built by scripts/package-windows:
;   makensis -DVERSION=x.y.z -DSTAGE=<folder holding yulo.scr and its data> -DOUTFILE=<exe> yulo.nsi
; Installs into Program Files, puts yulo.scr where the Screen Saver settings list it,
; names the install folder in the registry and adds an uninstaller.

; A 64-bit installer, like the program: its system folder and registry view are the
; program's own, with no redirection in between.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

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

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  ; The copy in the system folder is the one the Screen Saver settings list; it finds its
  ; data through InstallDir_Demo.
  CopyFiles /SILENT "$INSTDIR\yulo.scr" "$SYSDIR\yulo.scr"
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
SectionEnd

; Each user's own volume setting (under HKEY_CURRENT_USER) is left alone.
Section "Uninstall"
  Delete "$SYSDIR\yulo.scr"
  RMDir /r "$INSTDIR\Data"
  Delete "$INSTDIR\yulo.scr"
  Delete "$INSTDIR\links.txt"
  Delete "$INSTDIR\ad1.bmp"
  Delete "$INSTDIR\ad2.bmp"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "InstallDir_Demo"
  ; The install may have made the two keys above it too: each goes when nothing else is
  ; left in it (another of the vendor's screensavers keeps its own).
  DeleteRegKey /ifempty HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}\screensavers"
  DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
