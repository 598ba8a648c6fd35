// The lock file of a serial line as other programs leave it: both forms of the pid the
// convention allows, a process that is gone, and a file that cannot be read.
#include "platform/UucpLock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A live process whose pid's lowest byte is an ASCII digit, as the binary form of a pid
// like 57 or 4153 has it: the first byte of such a file looks like text.
class DigitPidProcess {
public:
    DigitPidProcess()
    {
        for (int tries = 0; tries < 4000 && pid_ == 0; ++tries) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::pause();
                ::_exit(0);
            }
            if (child < 0)
                return;
            if ((child & 0xFF) >= '0' && (child & 0xFF) <= '9') {
                pid_ = child;
            } else {
                ::kill(child, SIGKILL);
                ::waitpid(child, nullptr, 0);
            }
        }
    }
    ~DigitPidProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QByteArray binaryPid(pid_t pid)
{
    const int value = int(pid);
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

QByteArray asciiPid(pid_t pid)
{
    return QByteArray::number(qlonglong(pid)).rightJustified(10, ' ') + '\n';
}

TEST(LockFilePid, ReadsBothForms)
{
    struct {
        QByteArray bytes;
        long pid;
    } const cases[] = {
        {"      1234\n", 1234},
        {"1234\n", 1234},
        {"123\n", 123},                        // four bytes, but text with its line end
        {QByteArray("\x39\0\0\0", 4), 57},     // binary 57: its first byte is the digit 9
        {QByteArray("\x20\x03\0\0", 4), 800},  // binary 800: its first byte is a blank
        {QByteArray("\x39\x10\0\0", 4), 0x1039},
        {"", 0},
        {"garbage\n", 0},
        {QByteArray("\xff\xff\xff\xff", 4), 0},  // a negative int names no process
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::UucpLockPid(c.bytes.constData(), long(c.bytes.size())), c.pid) << c.bytes.toHex().toStdString();
}

class LockFiles : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        ::setenv("VEXLO_LOCK_DIR", QFile::encodeName(dir_.path()).constData(), 1);
        ::chmod(QFile::encodeName(dir_.path()).constData(), 01777);
    }
    void TearDown() override { ::unsetenv("VEXLO_LOCK_DIR"); }

    static constexpr char kDevice[] = "/dev/ttyVEXLOTEST0";
    QString lockPath() const
    {
        return dir_.path() + QLatin1Char('/') + QString::fromStdString(platform::UucpLockName(kDevice));
    }
    void plant(const QByteArray& bytes, QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner |
                                                                          QFile::ReadOther | QFile::ReadGroup)
    {
        QFile f(lockPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        f.setPermissions(permissions);
    }
    QByteArray lockBytes() const
    {
        QFile f(lockPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(LockFiles, ALiveOwnerInEitherFormKeepsTheLine)
{
    DigitPidProcess live;
    ASSERT_GT(live.pid(), 0);
    struct {
        const char* name;
        QByteArray bytes;
        bool held;
    } const cases[] = {
        {"ascii live", asciiPid(live.pid()), true},
        {"binary live", binaryPid(live.pid()), true},
        {"ascii gone", asciiPid(deadPid()), false},
        {"binary gone", binaryPid(deadPid()), false},
        {"empty", QByteArray(), false},
    };
    for (const auto& c : cases) {
        plant(c.bytes);
        platform::UucpLock lock;
        const auto result = lock.acquire(kDevice);
        if (c.held) {
            EXPECT_EQ(result, platform::UucpLock::Result::InUse) << c.name;
            EXPECT_EQ(lock.owner(), long(live.pid())) << c.name;
            EXPECT_EQ(lockBytes(), c.bytes) << c.name << ": the holder's file is left as it was";
        } else {
            EXPECT_EQ(result, platform::UucpLock::Result::Taken) << c.name;
            EXPECT_EQ(lockBytes(), asciiPid(::getpid())) << c.name;
        }
        lock.release();
        QFile::remove(lockPath());
    }
}

// A lock file that this user cannot read belongs to someone who may well be using the line.
TEST_F(LockFiles, OneThatCannotBeReadIsHeld)
{
    plant(asciiPid(::getppid()), QFile::ReadOwner | QFile::WriteOwner);
    int result = -1;
    if (::geteuid() == 0) {
        // Root reads every file: the lock is tried by a process of another user.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(9);
            platform::UucpLock lock;
            const auto r = lock.acquire(kDevice);
            ::_exit(r == platform::UucpLock::Result::InUse ? 0 : r == platform::UucpLock::Result::Taken ? 1 : 2);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 9) << "cannot become another user";
        result = WEXITSTATUS(status);
    } else {
        QFile(lockPath()).setPermissions(QFile::WriteOwner);
        platform::UucpLock lock;
        const auto r = lock.acquire(kDevice);
        result = r == platform::UucpLock::Result::InUse ? 0 : r == platform::UucpLock::Result::Taken ? 1 : 2;
    }
    EXPECT_EQ(result, 0) << "InUse (0), not taken over (1)";
    QFile(lockPath()).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(lockBytes(), asciiPid(::getppid()));
}

}  // namespace
