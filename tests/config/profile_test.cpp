#include "platform/PrivateProfile.h"
#include "support/FileSizeLimit.h"
#include "support/TempConfigHome.h"

#include <gtest/gtest.h>

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

struct ReadCase {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    const char* expected;
};

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsTheValueOrTheDefault)
{
    TempConfigHome home;
    const ReadCase& c = GetParam();
    if (c.file)
        home.write(c.file);
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "DEF", "VEXLO.INI"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    testing::Values(
        ReadCase{"NoFile", nullptr, "Comm", "Port", "DEF"},
        ReadCase{"Plain", "[Comm]\nPort=COM3\n", "Comm", "Port", "COM3"},
        ReadCase{"CaseInsensitiveNames", "[comm]\nPORT=COM3\n", "COMM", "port", "COM3"},
        ReadCase{"CrLfAndBlanks", "[Comm]\r\n  Port =  COM4  \r\n", "Comm", "Port", "COM4"},
        ReadCase{"QuotedValue", "[Comm]\nPort=\"COM5\"\n", "Comm", "Port", "COM5"},
        ReadCase{"OtherSection", "[Mode]\nPort=COM3\n", "Comm", "Port", "DEF"},
        ReadCase{"MissingKey", "[Comm]\nSpeed=1\n", "Comm", "Port", "DEF"},
        ReadCase{"FirstOfTwo", "[Comm]\nPort=A\nPort=B\n", "Comm", "Port", "A"},
        ReadCase{"EmptyValue", "[Comm]\nPort=\n", "Comm", "Port", ""},
        ReadCase{"CommentSkipped", "[Comm]\n;Port=X\nPort=Y\n", "Comm", "Port", "Y"},
        ReadCase{"HalfWrittenLastLine", "[Comm]\nSpeed=9600\nPo", "Comm", "Speed", "9600"},
        ReadCase{"BinaryGarbageAround", "\x01\x02\xff\xfe\n[Comm]\nPort=COM1\n\x7f\x80garbage", "Comm",
                 "Port", "COM1"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every other line stays byte for byte, its line end included: a file of LF lines does not
// grow by a CR a line at each write (16 MB of blank lines would double and then be refused).
TEST(Profile, WriteKeepsEverythingElseAndReplacesInPlace)
{
    TempConfigHome home;
    home.write("; my notes\n[Ports]\nCOM1=/dev/ttyUSB0\n[comm]\nPort=COM1\nExtra=keep\n\n\n[Unknown]\nx=1");
    ASSERT_TRUE(WritePrivateProfileString("Comm", "PORT", "COM2", "VEXLO.INI"));
    ASSERT_TRUE(WritePrivateProfileString("Comm", "Speed", "9600", "VEXLO.INI"));
    ASSERT_TRUE(WritePrivateProfileString("Mode", "ZenToHan", "TRUE", "VEXLO.INI"));
    EXPECT_EQ(home.read(),
              "; my notes\n[Ports]\nCOM1=/dev/ttyUSB0\n[comm]\nPORT=COM2\nExtra=keep\nSpeed=9600\n\n\n"
              "[Unknown]\nx=1\n[Mode]\nZenToHan=TRUE\n");
}

TEST(Profile, WriteCreatesFileAndFolder)
{
    TempConfigHome home;
    const std::string nested = home.path().toStdString() + "/sub/dir/test.ini";
    ASSERT_TRUE(WritePrivateProfileString("A", "b", "c", nested));
    EXPECT_EQ(GetPrivateProfileString("a", "B", "", nested), "c");
}

TEST(Profile, FailedWriteLeavesTheOldFileWhole)
{
    TempConfigHome home;
    const QByteArray old = "[Comm]\nPort=COM1\n";
    home.write(old);
    {
        FileSizeLimit full(old.size() + 4);  // the disk fills up during the write
        EXPECT_FALSE(WritePrivateProfileString("Comm", "Port", "/dev/a-much-longer-name", "VEXLO.INI"));
    }
    EXPECT_EQ(home.read(), old);
}

TEST(Profile, WriteFailsWhenTheFolderCannotBeMade)
{
    TempConfigHome home;
    home.write("not a folder");
    const std::string below = home.iniPath().toStdString() + "/inside.ini";
    EXPECT_FALSE(WritePrivateProfileString("A", "b", "c", below));
}

TEST(Profile, ValuesAreCutAt1023Characters)
{
    TempConfigHome home;
    home.write("[Comm]\nPort=" + QByteArray(2000, 'x') + "\n");
    EXPECT_EQ(GetPrivateProfileString("Comm", "Port", "", "VEXLO.INI").size(), 1023u);
}

// A file the user protects or a large one must come out whole: refused as it is, or kept to
// the last line (the program runs as root here too, which may write any file).
struct KeepCase {
    const char* name;
    bool readOnly;
    int fillerBytes;
    bool written;
};

class ProfileKeeps : public testing::TestWithParam<KeepCase> {};

TEST_P(ProfileKeeps, NeverCutsOrOverridesTheFile)
{
    TempConfigHome home;
    const KeepCase& c = GetParam();
    const QByteArray old = "[Comm]\r\nPort=COM1\r\n; " + QByteArray(c.fillerBytes, 'x') +
                           "\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n";
    home.write(old);
    if (c.readOnly)
        QFile::setPermissions(home.iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    EXPECT_EQ(WritePrivateProfileString("Comm", "Port", "COM2", "VEXLO.INI"), c.written);
    QByteArray expected = old;
    if (c.written)
        expected.replace("Port=COM1", "Port=COM2");
    EXPECT_EQ(home.read(), expected);
    QFile::setPermissions(home.iniPath(), QFile::ReadOwner | QFile::WriteOwner);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileKeeps,
                         testing::Values(KeepCase{"ReadOnly", true, 10, false},
                                         KeepCase{"TwoMiB", false, 2 << 20, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
