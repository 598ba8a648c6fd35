// Cp932 — text in code page 932 (Shift-JIS with the Microsoft extensions) and back, through
// glibc's iconv converter "CP932".
//
// Contract
//   ToCp932    QString -> CP932 bytes. Returns false when a character has no CP932 form (or
//              the converter is missing); ERROR then names the character and OUT is left
//              empty. Never substitutes '?'.
//   FromCp932  CP932 bytes -> QString. Returns false at the first byte sequence that is not
//              CP932; ERROR then says where, and OUT is left empty.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace platform {

bool ToCp932(const QString& text, std::string& out, QString& error);
bool FromCp932(std::string_view bytes, QString& out, QString& error);

}  // namespace platform
