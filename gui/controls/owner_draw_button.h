// The owner-drawn push button.
#pragma once

#include <windows.h>

#include "gui/widget.h"

// Glyph layouts: where a glyph goes beside the text. With kGlyphLayoutBare the face is not
// filled behind the text.
enum : int { kGlyphLayoutLeft = 0, kGlyphLayoutBare = 4 };

// A push button whose face and caption the toolkit paints.
class OwnerDrawButton : public Widget {
public:
  BYTE ButtonOptions;
  BYTE GlyphLayout;  // kGlyphLayoutLeft, kGlyphLayoutBare
  HBITMAP GlyphBitmap;
  int GlyphCount;
  // Where the caption moves while the button is pressed.
  int TextShiftX;
  int TextShiftY;
};

// `layout` places the glyph; this toolkit draws no glyph (glyph may be null).
OwnerDrawButton* CreateOwnerDrawButton(Widget* parent, const ByteString& text, unsigned options,
                                       int layout, HBITMAP glyph, int glyphCount);
