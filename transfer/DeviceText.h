// Device codes and reading bytes back to readable text, for showing what a memo carries.
//
// Title codes: rows 21 and up are JIS X 0208 characters; row 13 is ASCII; rows 11 and 15 come
// back as the half-width character that produces the code when typed (full-width when there is
// none); rows 12 and 14 (half-width symbols and hiragana, which have no half-width form in
// Unicode) come back full-width. A code that names no character becomes U+FFFD.
// Reading bytes: ASCII and half-width katakana; other bytes become U+FFFD.
#pragma once

#include <QString>

#include <string_view>

// CODES: two bytes a code, high byte first; a lone last byte is ignored.
QString DeviceCodesToText(std::string_view codes);

QString ReadingBytesToText(std::string_view bytes);
