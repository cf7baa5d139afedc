; The Windows installer of Velmora: the wizard, korvel.exe beside it, the
; plan library, the model list and the DLLs they load, into
; Program Files\Velmora, with Start-menu entries and an uninstall entry.
; scripts/package-windows makes it:
;
;   makensis -DVERSION=1.0 -DOUTFILE=<setup.exe> -DFILES=<install list>
;            -DREMOVES=<uninstall list> -DSIZE_KB=<size> velmora.nsi
;
; FILES holds a `File` line and REMOVES a `Delete` line for each file of
; the folder build-windows stages, written by the script from the folder
; itself, so that the uninstaller removes exactly what the installer put
; there.
; /S installs and uninstalls silently.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "Velmora"
!define CAPTION "Velmora 升级向导"
!define PUBLISHER "The Velmora and Korvel developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define MENU_FOLDER "$SMPROGRAMS\Velmora"
!define MENU_WIZARD "${MENU_FOLDER}\${CAPTION}.lnk"
!define MENU_UNINSTALL "${MENU_FOLDER}\卸载 ${CAPTION}.lnk"

Name "${CAPTION}"
Caption "${CAPTION} ${VERSION} 安装"
UninstallCaption "${CAPTION} ${VERSION} 卸载"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velmora"
BrandingText "${CAPTION} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=2052 "ProductName" "${CAPTION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "FileDescription" "${CAPTION} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行 ${CAPTION}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  ; The programs are 64-bit; so are the registry view and Program Files.
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${CAPTION} 需要 64 位 Windows。" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${CAPTION}" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_WIZARD}" "$INSTDIR\velmora.exe" "" "$INSTDIR\velmora.exe" 0
  CreateShortcut "${MENU_UNINSTALL}" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${CAPTION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  ; Only the files this version installed, then the folder if nothing else
  ; is left in it: files the operator put there stay.
  !include "${REMOVES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_WIZARD}"
  Delete "${MENU_UNINSTALL}"
  RMDir "${MENU_FOLDER}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; The wizard's own settings (the last server, database and scheme) of the
  ; user who uninstalls.
  DeleteRegKey HKCU "Software\Velmora"
SectionEnd
