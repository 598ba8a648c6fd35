// Helpers shared by the transfer tests.
#pragma once

#include "transfer/HexRecord.h"
#include "transfer/RecordReader.h"

#include <string>
#include <string_view>
#include <vector>

namespace testutil {

// The texts of CHAIN.
inline std::vector<std::string> ChainTexts(const TRecordList& chain)
{
    std::vector<std::string> out;
    for (const TRecord& n : chain)
        out.push_back(RecordText(n));
    return out;
}

// Feeds STREAM through the receive steps of a fresh receive on LINK; returns the events.
inline std::string Receive(TRecordReader& link, std::string_view stream)
{
    RecvStart(link);
    TRecordStreamReader reader(link);
    std::string events;  // one letter per event: # ? E L
    for (const char c : stream) {
        switch (reader.Put(static_cast<uint8_t>(c))) {
        case RecvEvent::None: break;
        case RecvEvent::MemoComplete: events += '#'; break;
        case RecvEvent::BadRecord: events += '?'; break;
        case RecvEvent::ExchangeEnded: events += 'E'; break;
        case RecvEvent::MemoTooLong: events += 'L'; break;
        }
    }
    return events;
}

inline std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

}  // namespace testutil
