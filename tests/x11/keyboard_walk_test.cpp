// The real program under X from the keyboard alone: a picture too large for the device is sent
// through a region chosen with the arrow keys, and 送信用に変換 is run with its crop moved by
// keys; each step is a window that appears (or goes).
#include "X11Session.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace {

struct Step {
    QStringList keys;    // typed one after another
    const char* window;  // the window that then appears ("" for none to wait for)
    bool gone = false;   // the window then goes instead
};

struct Walk {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const Walk& w, std::ostream* os) { *os << w.name; }

class KeyboardWalk : public testing::TestWithParam<Walk> {};

TEST_P(KeyboardWalk, ReachesTheEnd)
{
    ASSERT_TRUE(X11Session::haveDisplay()) << "run under an X server (./test.sh starts Xvfb)";
    QTemporaryDir data;
    QImage picture(300, 200, QImage::Format_Mono);
    picture.fill(1);
    const QString file = data.path() + QStringLiteral("/big.bmp");
    ASSERT_TRUE(picture.save(file));

    X11Session session;
    // A line that cannot be opened: a Send that gets that far says so in a box.
    QFile ini(session.configDir() + QStringLiteral("/VEXLO.INI"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Comm]\r\nPort=/dev/no-such-line\r\n");
    ini.close();
    session.setEnv(QStringLiteral("XDG_DATA_HOME"), data.path());
    session.setEnv(QStringLiteral("XDG_CACHE_HOME"), data.path() + QStringLiteral("/cache"));
    ASSERT_TRUE(session.start({file}));
    const QString frame = session.waitForWindow(QStringLiteral("VEXLO"));
    ASSERT_FALSE(frame.isEmpty()) << "the frame window did not appear";
    session.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), frame});

    const std::vector<Step>& steps = GetParam().steps;
    auto type = [&](const Step& step) {
        for (const QString& key : step.keys) {
            session.xdotool({QStringLiteral("key"), key});
            QThread::msleep(150);  // a menu opens before the next key
        }
    };
    // The picture's window is inside the frame, out of xdotool's sight: the first step is typed
    // again until its window shows (before the picture is open its command does nothing).
    QString first;
    for (int i = 0; i < 10 && first.isEmpty(); ++i) {
        type(steps[0]);
        first = session.waitForWindow(QString::fromUtf8(steps[0].window), 2000);
    }
    ASSERT_FALSE(first.isEmpty()) << steps[0].window << " did not appear";
    for (size_t i = 1; i < steps.size(); ++i) {
        const Step& step = steps[i];
        type(step);
        if (step.gone) {
            ASSERT_TRUE(session.waitForNoWindow(QString::fromUtf8(step.window)))
                << step.window << " stayed after " << step.keys.join(QLatin1Char(' ')).toStdString();
        } else if (*step.window) {
            ASSERT_FALSE(session.waitForWindow(QString::fromUtf8(step.window)).isEmpty())
                << step.window << " did not appear after " << step.keys.join(QLatin1Char(' ')).toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Walks, KeyboardWalk,
    testing::Values(
        Walk{"SendARegion",
             {{{"alt+c", "t"}, "警告"},                   // データを送信する: too large
              {{"Return"}, ""},                           // OK: the region is chosen now
              // The band shows, moves and shrinks; Enter asks この範囲を転送しますか？
              {{"Right", "Right", "ctrl+Down", "shift+Left", "Return"}, "確認"},
              {{"Return"}, "手書きメモ－題名入力"},       // OK: Send asks for the title
              {{"alt+i"}, "ｴﾗｰ"}}},                       // 無視: the line cannot be opened
        Walk{"PrepareWithTheCropMoved",
             {{{"alt+e", "v"}, "送信用に変換"},
              {{"alt+l", "shift+Tab", "Right", "shift+Right", "Return"}, "送信用に変換", true}}}),
    [](const testing::TestParamInfo<Walk>& info) { return info.param.name; });

}  // namespace
