// Texts between UTF-8, in which a settings file may be saved and a report may be sent, and
// the ANSI code page, in which the window shows them. UTF-16 is held in a ByteString, two
// bytes per code unit in the machine's order, as the system's wide functions take it.
#pragma once

#include <stdint.h>

#include "rt/byte_string.h"

// Decodes UTF-8 into UTF-16; false for bytes that are not UTF-8 (a cut or overlong
// sequence, a surrogate, a value past U+10FFFF), so that such a text is never shown garbled.
bool Utf16OfUtf8(const ByteString& utf8, ByteString& utf16);

// Encodes `count` UTF-16 code units as UTF-8; an unpaired surrogate becomes U+FFFD.
ByteString Utf8OfUtf16(const uint16_t* units, int count);

// Win32 only: `utf8` in the ANSI code page; false when it is not UTF-8 or the code page
// cannot show every character of it.
bool AnsiOfUtf8(const ByteString& utf8, ByteString& ansi);
// Win32 only: ANSI text as UTF-8.
ByteString Utf8OfAnsi(const ByteString& ansi);
