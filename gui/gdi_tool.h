// Fonts and brushes as objects: a 64-byte description, a GDI handle made on demand, and
// sharing of the parent's handle while the descriptions are equal.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "gui/color.h"
#include "rt/object.h"

enum GdiToolKind : BYTE { kBrushTool = 0, kFontTool = 1 };

// The description of a tool. Its byte offsets are the offsets SetToolInt takes: 0 the
// colour, then for a font a LOGFONTA (height at 4, weight at 20, face name at 32), for a
// brush a pattern bitmap (owned) at 4 and a style byte at 8.
struct ToolDataBlock {
  ColorValue ToolColor;
  union {
    LOGFONTA Font;
    struct {
      HBITMAP Pattern;
      BYTE Style;
    } Brush;
  };
};
static_assert(sizeof(ToolDataBlock) == 64, "tool data are compared and copied as 64 bytes");

// Font style bits (GetFontStyle / SetFontStyle).
enum : unsigned {
  kFontBold = 1,
  kFontItalic = 2,
  kFontUnderline = 4,
  kFontStrikeOut = 8,
};

class GdiTool : public RefObject {
public:
  void Dispose() override;

  GdiToolKind ToolKind;
  HGDIOBJ ToolHandle;  // own handle; null until made
  // The parent widget's tool this one was copied from; its handle is used while the
  // descriptions are equal.
  GdiTool* ParentTool;
  // (owner, this tool): the description changed.
  BoundMethod<GdiTool*> OnToolChange;
  COLORREF HandleColor;  // ToColorRef of the colour when the handle was made
  ToolDataBlock ToolData;
  GdiTool* (*MakeNew)();
  void (*MakeHandle)(GdiTool* tool);
};

GdiTool* CreateFontTool();
GdiTool* CreateBrushTool();

// Copies the description of `source` into `dest` (a new tool of the same kind when dest
// is null) and returns dest. A null source frees dest and returns null.
GdiTool* AssignTool(GdiTool* dest, GdiTool* source);
HGDIOBJ GetToolHandle(GdiTool* tool);
inline HFONT GetFontHandle(GdiTool* font) {
  return static_cast<HFONT>(GetToolHandle(font));
}
// Sets the 32-bit item at byte `offset` of the description.
void SetToolInt(GdiTool* tool, int offset, int value);
void SetToolColor(GdiTool* tool, ColorValue color);
void SetFontName(GdiTool* font, const char* name);
// The font's LOGFONTA height (negative: the character height in pixels).
inline void SetFontHeight(GdiTool* font, int height) {
  SetToolInt(font, offsetof(ToolDataBlock, Font.lfHeight), height);
}
unsigned GetFontStyle(GdiTool* font);
void SetFontStyle(GdiTool* font, unsigned style);
