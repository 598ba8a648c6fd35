// The real program under X: start it without a configuration, leave through the File menu
// by keyboard, and find the configuration it wrote.
#include "X11Session.h"

#include <QFile>

namespace {

TEST(X11Frame, ExitThroughTheFileMenuWritesTheConfiguration)
{
    ASSERT_TRUE(X11Session::haveDisplay()) << "run under an X server (./test.sh starts Xvfb)";
    X11Session session;
    ASSERT_TRUE(session.start());
    const QString window = session.waitForWindow(QStringLiteral("VEXLO"));
    ASSERT_FALSE(window.isEmpty()) << "the frame window did not appear";

    session.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    // Alt+F opens "ﾌｧｲﾙ(&F)", X chooses "終了(&X)".
    session.xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("150"), QStringLiteral("alt+f")});
    (void)session.waitForWindowCount(2);  // the frame and its open menu
    session.xdotool({QStringLiteral("key"), QStringLiteral("x")});
    ASSERT_TRUE(session.waitForExit(20000)) << "the program did not end";
    EXPECT_EQ(session.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(session.exitCode(), 0);

    QFile ini(session.configDir() + QStringLiteral("/VEXLO.INI"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly)) << "no VEXLO.INI written";
    const QByteArray text = ini.readAll();
    for (const char* line : {"[Machine]\r\nSender=QM10\r\n", "[Comm]\r\nPort=COM1\r\nSpeed=9600\r\n",
                             "Width=520\r\nHeight=378\r\n", "[Mode]\r\nZenToHan=FALSE\r\nKataToHira=FALSE\r\n"})
        EXPECT_TRUE(text.contains(line)) << line << " in\n" << text.constData();
}

}  // namespace
