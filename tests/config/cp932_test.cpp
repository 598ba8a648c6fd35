// Text in CP932 and back, one conversion after another through the same converter: a
// conversion that fails half-way leaves nothing behind for the next one.
#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Conversion {
    bool toCp932;        // else from CP932
    const char* input;   // UTF-8 text, or CP932 bytes
    bool ok;
    const char* output;  // CP932 bytes, or UTF-8 text
};

// In this order: each failure is followed by conversions that must not feel it.
const Conversion kConversions[] = {
    {false, "\x82\xa0\x8a\xbf", true, "あ漢"},
    {false, "\x82", false, ""},                 // a lead byte cut off
    {false, "\x82\xa0", true, "あ"},
    {false, "A\x82\xa0\x81", false, ""},         // cut off after a whole character
    {false, "\xb1", true, "ｱ"},                  // half-width kana: one byte
    {true, "メモ", true, "\x83\x81\x83\x82"},
    {true, "€", false, ""},                      // no CP932 form
    {true, "ｱ", true, "\xb1"},
    {true, "a\xf0\x9f\x98\x80", false, ""},      // an emoji after a letter
    {true, "①", true, "\x87\x40"},               // a Microsoft extension
    {false, "\x87\x40", true, "①"},
    {false, "", true, ""},
};

// The conversions' failures, "" when all came out as expected.
std::string convertAll()
{
    std::string wrong;
    for (const Conversion& c : kConversions) {
        QString error;
        bool ok;
        std::string output;
        if (c.toCp932) {
            ok = platform::ToCp932(QString::fromUtf8(c.input), output, error);
        } else {
            QString text;
            ok = platform::FromCp932(c.input, text, error);
            output = text.toStdString();
        }
        if (ok != c.ok || (ok && output != c.output) || (!ok && (error.isEmpty() || !output.empty())))
            wrong += std::string(c.toCp932 ? "to " : "from ") + c.input + "; ";
    }
    return wrong;
}

TEST(Cp932, AFailedConversionLeavesNothingForTheNext)
{
    EXPECT_EQ(convertAll(), "");
    EXPECT_EQ(convertAll(), "") << "the second time round";
}

}  // namespace
