// What vexlo-cli encode and send share: an image file made into the chain of records of one
// memo, as the Send command makes it of a memo window.
#pragma once

#include "tools/cli/CliCommon.h"
#include "tools/cli/PrepareOptions.h"

#include "link/CommLink.h"
#include "transfer/Records.h"

// Options of both commands: --title, --reading, --region, --crop, --zen-to-han, --kata-to-hira,
// and those that prepare the picture (PrepareOptions.h).
inline const std::set<std::string> MemoChainFlags = [] {
    std::set<std::string> flags{"--zen-to-han", "--kata-to-hira", "--crop"};
    flags.insert(PrepareFlags.begin(), PrepareFlags.end());
    return flags;
}();
inline const std::set<std::string> MemoChainValued = [] {
    std::set<std::string> valued{"--title", "--reading", "--region"};
    valued.insert(PrepareValued.begin(), PrepareValued.end());
    return valued;
}();

// Reads the image PATH (UTF-8), prepares it when an option asks for that, applies --region or
// --crop, converts it and builds its CHAIN with --title and --reading; the title switches are
// LINK's, turned on by --zen-to-han and --kata-to-hira. Without --reading the memo is named after the file.
// On failure says why on standard error, prefixed "COMMAND: ", and returns false.
bool BuildChainFromImage(const char* command, const std::string& path, const cli::ParsedArgs& parsed,
                         TCommLink& link, TRecordList& chain);
