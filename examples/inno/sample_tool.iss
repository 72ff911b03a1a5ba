; Sample Tool's installer, made with Inno Setup 6: installs a small program and exitpoll.exe,
; registers the product in Add/Remove Programs and writes an uninstaller that asks the user,
; with exitpoll.exe, why the product is being removed.
;
; Build:  ISCC.exe [/DVERSION=2.0] [/DEXITPOLL_EXE=path] [/DSAMPLE_TOOL_EXE=path]
;                  [/DEXITPOLL_INI=path] [/DOUTFILE=folder\name-without-.exe] sample_tool.iss
;
; Switches of the uninstaller (unins000.exe in the product folder): /SILENT and /VERYSILENT
; remove the product without the survey. An upgrade needs no switch: a newer version of
; this installer installs over the old one and never runs the old uninstaller.
;
; With /DEXITPOLL_INI=path, the applet's settings file (see examples/ini) is installed
; beside it and travels with it.

#define PRODUCT "Sample Tool"
#ifndef VERSION
  #define VERSION "1.0"
#endif
#ifndef EXITPOLL_EXE
  #define EXITPOLL_EXE "exitpoll.exe"
#endif
#ifndef SAMPLE_TOOL_EXE
  #define SAMPLE_TOOL_EXE "SampleTool.exe"
#endif
#ifndef OUTFILE
  #define OUTFILE "SampleToolSetup"
#endif

[Setup]
; The same AppId in every version, so that a newer version installs over an older one and
; keeps one entry in Add/Remove Programs ("SampleTool_is1").
AppId=SampleTool
AppName={#PRODUCT}
AppVersion={#VERSION}
DefaultDirName={autopf}\{#PRODUCT}
DisableProgramGroupPage=yes
PrivilegesRequired=admin
UninstallDisplayIcon={app}\SampleTool.exe
OutputDir={#ExtractFilePath(OUTFILE)}
OutputBaseFilename={#ExtractFileName(OUTFILE)}
Compression=lzma2
SolidCompression=yes

[Files]
Source: "{#SAMPLE_TOOL_EXE}"; DestDir: "{app}"; DestName: "SampleTool.exe"
Source: "{#EXITPOLL_EXE}"; DestDir: "{app}"; DestName: "exitpoll.exe"
#ifdef EXITPOLL_INI
Source: "{#EXITPOLL_INI}"; DestDir: "{app}"; DestName: "exitpoll.ini"
#endif

[Code]
// The survey runs from a copy in the uninstaller's temporary folder, {tmp}, which outlives
// the product folder and goes when the uninstaller ends, and the uninstaller waits for it:
// it ends by itself at most about 3 s after the user closes its window. Its settings file,
// where there is one, goes with it: the applet reads the file of its own name beside
// itself. Quoted, the product name may hold spaces.
procedure AskWhy;
var
  Survey: String;
  ResultCode: Integer;
begin
  if not FileExists(ExpandConstant('{app}\exitpoll.exe')) then
    Exit;
  Survey := ExpandConstant('{tmp}\exitpoll.exe');
  if not FileCopy(ExpandConstant('{app}\exitpoll.exe'), Survey, False) then
    Exit;
  if FileExists(ExpandConstant('{app}\exitpoll.ini')) then
    FileCopy(ExpandConstant('{app}\exitpoll.ini'), ExpandConstant('{tmp}\exitpoll.ini'), False);
  Exec(Survey, '"{#PRODUCT}"', '', SW_SHOWNORMAL, ewWaitUntilTerminated, ResultCode);
end;

// usUninstall comes after the user has confirmed and before any file is removed. A silent
// uninstall (/SILENT, /VERYSILENT), as package managers and newer installers run it, asks
// nothing.
procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if (CurUninstallStep = usUninstall) and not UninstallSilent then
    AskWhy;
end;
