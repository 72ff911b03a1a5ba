; Sample Tool's installer: installs a small program and exitpoll.exe, registers the product
; in Add/Remove Programs and writes an uninstaller that asks the user, with exitpoll.exe,
; why the product is being removed.
;
; Build:  makensis [-DVERSION=2.0] [-DEXITPOLL_EXE=path] [-DSAMPLE_TOOL_EXE=path]
;                  [-DOUTFILE=path] sample_tool.nsi
;
; Switches of the uninstaller (uninstall.exe in the product folder):
;   /S        silent: removes the product without any window, the survey included.
;   /UPGRADE  this example's own: a newer installer of the product is removing the old
;             installation. Implies /S; the survey stays away, since the user is not leaving.
;
; With -DEXITPOLL_INI=path, the applet's settings file (see examples/ini) is installed
; beside it, with the product's version written into it, and travels with it.

Unicode true

!define PRODUCT "Sample Tool"
!define ARP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\SampleTool"
!ifndef VERSION
  !define VERSION "1.0"
!endif
!ifndef EXITPOLL_EXE
  !define EXITPOLL_EXE "exitpoll.exe"
!endif
!ifndef SAMPLE_TOOL_EXE
  !define SAMPLE_TOOL_EXE "SampleTool.exe"
!endif
!ifndef OUTFILE
  !define OUTFILE "SampleToolSetup.exe"
!endif

!include FileFunc.nsh
!include LogicLib.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${ARP_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "${PRODUCT}"
  Call RemovePreviousInstallation
  SetOutPath "$INSTDIR"
  File "/oname=SampleTool.exe" "${SAMPLE_TOOL_EXE}"
  File "/oname=exitpoll.exe" "${EXITPOLL_EXE}"
!ifdef EXITPOLL_INI
  File "/oname=exitpoll.ini" "${EXITPOLL_INI}"
  ; The version being installed, reported with the survey's answer ("ver").
  WriteINIStr "$INSTDIR\exitpoll.ini" "report" "Version" "${VERSION}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${ARP_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${ARP_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${ARP_KEY}" "DisplayIcon" "$INSTDIR\SampleTool.exe"
  WriteRegStr HKLM "${ARP_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${ARP_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${ARP_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${ARP_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${ARP_KEY}" "NoRepair" 1
SectionEnd

; An older installation is removed by its own uninstaller, told with /UPGRADE that this is
; an upgrade. _?= makes it run in place and wait; it cannot delete itself then, so that is
; done here.
Function RemovePreviousInstallation
  ReadRegStr $0 HKLM "${ARP_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIfNot} ${FileExists} "$0\uninstall.exe"
    Return
  ${EndIf}
  ExecWait '"$0\uninstall.exe" /UPGRADE _?=$0' $1
  ${If} $1 == 0
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}
FunctionEnd

Var Upgrading

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/UPGRADE" $1
  ${IfNot} ${Errors}
    StrCpy $Upgrading 1
    SetSilent silent
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetAutoClose true
  ${IfNot} ${Silent}
  ${AndIf} $Upgrading != 1
    Call un.AskWhy
  ${EndIf}
  Delete "$INSTDIR\SampleTool.exe"
  Delete "$INSTDIR\exitpoll.exe"
  Delete "$INSTDIR\exitpoll.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${ARP_KEY}"
SectionEnd

; The survey runs from a copy in the uninstaller's own temporary folder, which outlives the
; product folder, and the uninstaller waits for it: it ends by itself at most about 3 s after
; the user closes its window. Its settings file, where there is one, goes with it: the
; applet reads the file of its own name beside itself. Quoted, the product name may hold
; spaces (an underscore in it also reads as a space).
Function un.AskWhy
  ${IfNot} ${FileExists} "$INSTDIR\exitpoll.exe"
    Return
  ${EndIf}
  InitPluginsDir
  CopyFiles /SILENT "$INSTDIR\exitpoll.exe" "$PLUGINSDIR"
  ${If} ${FileExists} "$INSTDIR\exitpoll.ini"
    CopyFiles /SILENT "$INSTDIR\exitpoll.ini" "$PLUGINSDIR"
  ${EndIf}
  ExecWait '"$PLUGINSDIR\exitpoll.exe" "${PRODUCT}"'
  Delete "$PLUGINSDIR\exitpoll.exe"
  Delete "$PLUGINSDIR\exitpoll.ini"
FunctionEnd
