// Words of a text: the maximal runs of bytes other than a separator, numbered from 1.
// Used to split URLs and reply lines; empty runs never count as words.
#pragma once

#include "rt/byte_string.h"

// The number of words of `text` for `separator`.
int WordCount(const ByteString& text, char separator);

// The `number`-th word of `text`, or empty when there are fewer words. A number of 0 or
// less gives the text before the first separator.
ByteString ExtractWord(const ByteString& text, char separator, int number);
