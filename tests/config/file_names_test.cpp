// File names as bytes: every name comes back as the bytes it was, and two names are never one.
#include "platform/FileNames.h"

#include <QFile>

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FileNames, ComeBackAsTheirBytesAndStayApart)
{
    struct {
        QByteArray bytes;
        bool utf8;  // shown as Qt shows it
    } const cases[] = {
        {"memo.png", true},
        {"2026-12-07 16.23.32 会議.png", true},
        {"\xef\xbf\xbd-A.png", true},              // U+FFFD itself
        {"\xf0\x9f\x93\x9d.png", true},            // outside the basic plane
        {"\xff-A.png", false},
        {"\xc3\x28.png", false},                   // a cut two-byte character
        {"\xe3\x81.png", false},                   // a three-byte character cut short
        {"\xc0\xaf.png", false},                   // an overlong '/'
        {"\xed\xa0\x80.png", false},               // a surrogate as UTF-8
        {"\xf4\x90\x80\x80.png", false},           // beyond U+10FFFF
        {"\xf4\x8f\xbc\x80.png", false},           // U+10FF00: looks like an escaped byte
        {"\xf4\x8f\xbf\xbf-\xff.png", false},
        {"\x80\x81\x82", false},
    };
    std::set<QString> texts;
    for (const auto& c : cases) {
        const QString text = platform::DecodeFileName(c.bytes);
        EXPECT_EQ(platform::EncodeFileName(text), c.bytes) << c.bytes.toHex().toStdString();
        EXPECT_EQ(platform::NameHasForeignBytes(text), !c.utf8) << c.bytes.toHex().toStdString();
        if (c.utf8) {
            EXPECT_EQ(text, QFile::decodeName(c.bytes));
        }
        EXPECT_TRUE(texts.insert(text).second) << c.bytes.toHex().toStdString() << " shares its text";
    }
    // Folder and name joined as text stay the bytes joined.
    const QString path = platform::DecodeFileName("/tmp/\xe9t\xe9") + QStringLiteral("/") +
                         platform::DecodeFileName("\xff.png");
    EXPECT_EQ(platform::EncodeFileName(path), QByteArray("/tmp/\xe9t\xe9/\xff.png"));
}

}  // namespace
