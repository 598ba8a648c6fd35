// The real program under X: start it without a configuration, leave through the File menu
// by keyboard, and find the configuration it wrote: the frame's first size is a good share of
// the screen, and never more than it.
#include "X11Session.h"

#include <QFile>
#include <QTemporaryDir>
#include <QRegularExpression>

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
                             "[Mode]\r\nZenToHan=FALSE\r\nKataToHira=FALSE\r\n"})
        EXPECT_TRUE(text.contains(line)) << line << " in\n" << text.constData();
    const QStringList screen = session.xdotool({QStringLiteral("getdisplaygeometry")}).split(QLatin1Char(' '));
    ASSERT_EQ(screen.size(), 2);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("\r\nWidth=(\\d+)\r\nHeight=(\\d+)\r\n")).match(QString::fromLatin1(text));
    ASSERT_TRUE(size.hasMatch()) << text.constData();
    const int width = size.captured(1).toInt();
    const int height = size.captured(2).toInt();
    EXPECT_GE(width, screen[0].toInt() / 2) << "of " << screen[0].toStdString();
    EXPECT_GE(height, screen[1].trimmed().toInt() / 2) << "of " << screen[1].toStdString();
    EXPECT_LE(width, screen[0].toInt());
    EXPECT_LE(height, screen[1].trimmed().toInt());
}

// On a system without a Japanese font every label would be boxes: one warning at start says
// which packages to install, readable in English too, and the program goes on.
TEST(X11Frame, WithoutAJapaneseFontOneWarningNamesThePackages)
{
    ASSERT_TRUE(X11Session::haveDisplay()) << "run under an X server (./test.sh starts Xvfb)";
    QTemporaryDir fonts;
    QFile conf(fonts.filePath(QStringLiteral("fonts.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
               "<dir>/usr/share/fonts/truetype/liberation2</dir>\n<cachedir>" + fonts.path().toUtf8() +
               "/cache</cachedir>\n</fontconfig>\n");
    conf.close();
    X11Session session;
    session.setEnv(QStringLiteral("FONTCONFIG_FILE"), conf.fileName());
    ASSERT_TRUE(session.start());
    const QString box = session.waitForWindow(QStringLiteral("警告"));
    ASSERT_FALSE(box.isEmpty()) << "no warning box";
    EXPECT_TRUE(session.errorOutput().contains(QStringLiteral("sudo apt install fonts-ipafont-gothic")));
    session.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
    session.xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    EXPECT_TRUE(session.waitForNoWindow(QStringLiteral("警告")));
    EXPECT_FALSE(session.waitForWindow(QStringLiteral("VEXLO")).isEmpty()) << "the program did not go on";
}

}  // namespace
