// Private profile files: the classic sectioned key=value text format.
//
// A bare file name ("VEXLO.INI") lives in $XDG_CONFIG_HOME (default ~/.config); a name with a
// folder is used as it is. Section and key names match without regard to case.
//
// Reading never fails: a missing, unreadable or damaged file, section or key gives the
// default. Lines that are not understood are skipped when reading and kept as they are when
// writing. Values are trimmed of surrounding blanks and cut to 1023 characters.
//
// Writing replaces the file atomically (a temporary file renamed over it), keeping every
// other section, key and line; the file and its folder are created when missing. It returns
// false, leaving the old file untouched, when the file cannot be written, when it is marked
// read-only (no write permission bit, which holds for root too), or when it is larger than
// 16 MiB (a file that size is not a configuration; it is never cut short).
#pragma once

#include <string>

namespace platform {

std::string ProfilePath(const std::string& fileName);

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName);

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

}  // namespace platform
