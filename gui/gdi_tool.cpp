// Font and brush tools: lazy handles, change notification, and handle sharing.
#include "gui/gdi_tool.h"

#include <string.h>

#include "rt/fatal.h"

namespace {

void DropHandle(GdiTool* tool) {
  HGDIOBJ old = tool->ToolHandle;
  tool->ToolHandle = nullptr;
  if (old) DeleteObject(old);
}

// Every change of the description ends here: the handle no longer matches it.
void Changed(GdiTool* tool) {
  DropHandle(tool);
  tool->OnToolChange(tool);
}

void MakeFontHandle(GdiTool* tool) {
  tool->ToolHandle = CreateFontIndirectA(&tool->ToolData.Font);
}

void MakeBrushHandle(GdiTool* tool) {
  LOGBRUSH brush = {};
  if (tool->ToolData.Brush.Pattern) {
    brush.lbStyle = BS_PATTERN;
    brush.lbHatch = reinterpret_cast<ULONG_PTR>(tool->ToolData.Brush.Pattern);
  } else {
    brush.lbStyle = BS_SOLID;
    brush.lbColor = tool->HandleColor;
  }
  tool->ToolHandle = CreateBrushIndirect(&brush);
}

}  // namespace

GdiTool* CreateFontTool() {
  GdiTool* tool = CreateObject<GdiTool>();
  tool->ToolKind = kFontTool;
  tool->ToolData.ToolColor = kColorWindowText;
  tool->ToolData.Font.lfCharSet = DEFAULT_CHARSET;
  strcpy(tool->ToolData.Font.lfFaceName, "MS Sans Serif");
  tool->MakeNew = &CreateFontTool;
  tool->MakeHandle = &MakeFontHandle;
  return tool;
}

GdiTool* CreateBrushTool() {
  GdiTool* tool = CreateObject<GdiTool>();
  tool->ToolKind = kBrushTool;
  tool->ToolData.ToolColor = kColorButtonFace;
  tool->MakeNew = &CreateBrushTool;
  tool->MakeHandle = &MakeBrushHandle;
  return tool;
}

void GdiTool::Dispose() {
  if (ToolKind == kBrushTool && ToolData.Brush.Pattern) DeleteObject(ToolData.Brush.Pattern);
  DropHandle(this);
  RefObject::Dispose();
}

GdiTool* AssignTool(GdiTool* dest, GdiTool* source) {
  if (!source) {
    FreeObject(dest);
    return nullptr;
  }
  if (!dest) dest = source->MakeNew();
  if (dest == source) return dest;
  if (dest->ToolHandle && dest->ToolHandle == source->ToolHandle) return dest;
  DropHandle(dest);
  if (dest->ToolKind != source->ToolKind)
    FatalError("Attempt to assign to different GDI tool type");
  // A copied brush must not share the pattern bitmap that the source deletes.
  if (dest->ToolKind == kBrushTool && dest->ToolData.Brush.Pattern)
    DeleteObject(dest->ToolData.Brush.Pattern);
  memcpy(&dest->ToolData, &source->ToolData, sizeof(ToolDataBlock));
  if (dest->ToolKind == kBrushTool) dest->ToolData.Brush.Pattern = nullptr;
  Changed(dest);
  return dest;
}

HGDIOBJ GetToolHandle(GdiTool* tool) {
  if (!tool) return nullptr;
  if (tool->ToolHandle && ToColorRef(tool->ToolData.ToolColor) != tool->HandleColor)
    Changed(tool);  // a system colour changed since the handle was made
  if (!tool->ToolHandle && tool->ParentTool &&
      memcmp(&tool->ToolData, &tool->ParentTool->ToolData, sizeof(ToolDataBlock)) == 0)
    return GetToolHandle(tool->ParentTool);
  if (!tool->ToolHandle) {
    tool->HandleColor = ToColorRef(tool->ToolData.ToolColor);
    tool->MakeHandle(tool);
  }
  return tool->ToolHandle;
}

void SetToolInt(GdiTool* tool, int offset, int value) {
  if (offset < 0 || offset > static_cast<int>(sizeof(ToolDataBlock)) - 4) return;
  char* item = reinterpret_cast<char*>(&tool->ToolData) + offset;
  if (memcmp(item, &value, 4) == 0) return;
  memcpy(item, &value, 4);
  Changed(tool);
}

void SetToolColor(GdiTool* tool, ColorValue color) {
  SetToolInt(tool, 0, static_cast<int>(color));
  tool->HandleColor = ToColorRef(color);
}

void SetFontName(GdiTool* font, const char* name) {
  char* face = font->ToolData.Font.lfFaceName;
  // The field keeps at most 31 characters; a longer name equal in those is no change.
  if (strncmp(face, name, LF_FACESIZE - 1) == 0) return;
  memset(face, 0, LF_FACESIZE);
  strncpy(face, name, LF_FACESIZE - 1);
  Changed(font);
}

unsigned GetFontStyle(GdiTool* font) {
  const LOGFONTA& f = font->ToolData.Font;
  unsigned style = 0;
  if (f.lfWeight >= FW_BOLD) style |= kFontBold;
  if (f.lfItalic) style |= kFontItalic;
  if (f.lfUnderline) style |= kFontUnderline;
  if (f.lfStrikeOut) style |= kFontStrikeOut;
  return style;
}

void SetFontStyle(GdiTool* font, unsigned style) {
  if (style == GetFontStyle(font)) return;
  LOGFONTA& f = font->ToolData.Font;
  if (style & kFontBold) {
    if (f.lfWeight < FW_BOLD) f.lfWeight = FW_BOLD;
  } else if (f.lfWeight >= FW_BOLD) {
    f.lfWeight = 0;
  }
  f.lfItalic = (style & kFontItalic) ? 1 : 0;
  f.lfUnderline = (style & kFontUnderline) ? 1 : 0;
  f.lfStrikeOut = (style & kFontStrikeOut) ? 1 : 0;
  Changed(font);
}
