// FileNames — a file's name as the file system holds it (bytes) and as the program keeps and
// shows it (QString), both ways without loss.
//
// Linux names are bytes; most are UTF-8, but nothing makes them so: "\xff-A.png" is a name as
// good as "�-A.png", and Qt's own conversion turns both into the same text. Here each name keeps
// its own text, so that two files are never taken for one.
//
// Contract
//   DecodeFileName(bytes)  the text of a name: UTF-8 decoded, and every byte that is not part of
//                          a well-formed UTF-8 character stands as U+10FF00 + the byte (a private
//                          character no name has as text: a name that does carry one of
//                          U+10FF00..U+10FFFF as UTF-8 has those bytes kept one by one in the
//                          same way). A valid UTF-8 name comes out exactly as QFile::decodeName
//                          gives it.
//   EncodeFileName(text)   the bytes again: EncodeFileName(DecodeFileName(b)) == b for any b.
//                          For text without those private characters, QFile::encodeName's bytes.
//   NameHasForeignBytes(text)  true when the text stands for bytes that are not UTF-8 (Qt's own
//                          file functions cannot reach such a file).
//   MoveToTrash(path)      PATH into the user's trash (XDG: $XDG_DATA_HOME/Trash, its files/ and
//                          info/), the name kept byte for byte in its .trashinfo. Nothing, or the
//                          cause in the user's words; a home trash that cannot be made (a file
//                          in its place) is such a failure, and the file stays where it is.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

QString DecodeFileName(const QByteArray& bytes);
QByteArray EncodeFileName(const QString& text);
bool NameHasForeignBytes(const QString& text);

std::optional<QString> MoveToTrash(const QString& path);

}  // namespace platform
