// Private profile files: the classic sectioned key=value text format.
//
// A bare file name ("VEXLO.INI") lives in $XDG_CONFIG_HOME (default ~/.config); a name with a
// folder is used as it is. Section and key names match without regard to case.
//
// Reading never fails: a missing, unreadable or damaged file, section or key gives the
// default. Only a regular file is opened: a FIFO, a device or a folder in its place reads as
// no file at all (ProfileFileKind tells the caller). Lines that are not understood are skipped
// when reading and kept as they are when writing. Values are trimmed of surrounding blanks and
// cut to 1023 characters. A read costs time in proportion to the file's non-blank lines and
// memory in proportion to one line, however many blank lines the file holds; only its first
// 16 MiB are read.
//
// Writing replaces the file durably and atomically (platform/DurableFile.h), keeping every
// other section, key and line byte for byte, their line ends included; a new line takes the
// line end the file already uses (CR LF for a new file). The file and its folder are created
// when missing. It returns false, leaving the old file untouched and FAILURE (when given)
// saying why, when the file cannot be written, when something other than a regular file
// stands in its place, when it is marked read-only (no write permission bit, which holds for
// root too), or when it is larger than 16 MiB (EFBIG: a file that size is not a
// configuration; it is never cut short).
#pragma once

#include "platform/DurableFile.h"

#include <string>

namespace platform {

std::string ProfilePath(const std::string& fileName);

// What stands at the profile's path (links followed).
enum class ProfileFile { Missing, Regular, NotRegular };
ProfileFile ProfileFileKind(const std::string& fileName);

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName);

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName,
                               FileWriteError* failure = nullptr);

}  // namespace platform
