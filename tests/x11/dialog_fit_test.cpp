// Every window of the program on the screens users have: a desktop, the same at scale 1.5 and
// 2 on a large screen, a 1024 x 600 netbook, each with a light and a dark palette. Each setup
// runs window_check on an X server of its own of that size; it prints what a user would find
// cut off, overlapping, off the screen or unreadable.
#include <gtest/gtest.h>

#include <QProcess>

#include <ostream>

namespace {

struct ScreenSetup {
    const char* screen;
    const char* scale;
    const char* theme;
};

void PrintTo(const ScreenSetup& s, std::ostream* os)
{
    *os << s.screen << " at scale " << s.scale << ", " << s.theme;
}

class X11WindowsFit : public testing::TestWithParam<ScreenSetup> {};

TEST_P(X11WindowsFit, NothingIsCutOffOverlappedOrUnreadable)
{
    const ScreenSetup setup = GetParam();
    QProcess server;
    server.start(QStringLiteral("Xvfb"), QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("%1x24").arg(QLatin1String(setup.screen)),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    ASSERT_TRUE(server.waitForStarted(10000)) << "Xvfb did not start";
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(20000))
        number += server.readAllStandardOutput();
    ASSERT_TRUE(number.contains('\n')) << "Xvfb named no display";

    QProcess check;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(number.trimmed()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(setup.scale));
    env.insert(QStringLiteral("VEXLO_CHECK_THEME"), QLatin1String(setup.theme));
    check.setProcessEnvironment(env);
    check.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    check.start(qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/tests/x11/x11_window_check"));
    ASSERT_TRUE(check.waitForFinished(120000)) << "the check did not end";
    const QString found = QString::fromUtf8(check.readAllStandardOutput());
    server.terminate();
    server.waitForFinished(5000);
    EXPECT_EQ(check.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(check.exitCode(), 0) << found.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Screens, X11WindowsFit,
                         testing::Values(ScreenSetup{"1600x1000", "1", "light"}, ScreenSetup{"1600x1000", "1", "dark"},
                                         ScreenSetup{"3200x2000", "1.5", "light"}, ScreenSetup{"3200x2000", "2", "dark"},
                                         ScreenSetup{"1024x600", "1", "light"}, ScreenSetup{"1024x600", "1", "dark"}),
                         [](const testing::TestParamInfo<ScreenSetup>& info) {
                             return QStringLiteral("%1_scale%2_%3")
                                 .arg(QLatin1String(info.param.screen), QLatin1String(info.param.scale),
                                      QLatin1String(info.param.theme))
                                 .replace(QLatin1Char('.'), QLatin1Char('_'))
                                 .toStdString();
                         });

}  // namespace
