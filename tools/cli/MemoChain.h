// What vexlo-cli encode and send share: an image file made into the chain of records of one
// memo, as the Send command makes it of a memo window.
#pragma once

#include "tools/cli/CliCommon.h"

#include "link/CommLink.h"

// Options of both commands: --title, --reading, --region, --crop, --zen-to-han, --kata-to-hira.
inline const std::set<std::string> MemoChainFlags{"--zen-to-han", "--kata-to-hira", "--crop"};
inline const std::set<std::string> MemoChainValued{"--title", "--reading", "--region"};

// Reads the image PATH (UTF-8), applies --region or --crop, converts it and builds the chain at
// LINK.Head with --title and --reading; the title switches are LINK's, turned on by
// --zen-to-han and --kata-to-hira. Without --reading the memo is named after the file.
// On failure says why on standard error, prefixed "COMMAND: ", and returns false.
bool BuildChainFromImage(const char* command, const std::string& path, const cli::ParsedArgs& parsed,
                         TCommLink& link);
