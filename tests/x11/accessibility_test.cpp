// What a screen reader learns of the program over AT-SPI, on a session bus of the test's own with
// the accessibility bus started on it: every control of the frame's tool bar, メモ一覧, 各種設定
// and 送信用に変換 has a name of its own (a drop-down list, whose name is its value, a label of
// its own), and the previews and the library's memos say what they show.
#include "X11Session.h"

#include "support/LibraryMemos.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

struct Node {
    QString window, role, name, description, labels;
};

// A drop-down list is known by its own label (the first; the box around it comes after); the
// rest by their names.
QString knownAs(const Node& n)
{
    return n.role == QLatin1String("combo box") ? n.labels.section(QLatin1Char('|'), 0, 0) : n.name;
}

const QSet<QString> kControls = {"push button", "toggle button", "radio button", "check box", "spin button",
                                 "slider", "combo box", "text", "list", "page tab"};

struct Expected {
    const char* role;
    const char* name;         // knownAs
    const char* description;  // what it must start with; "" for anything
};

struct Scene {
    const char* name;
    QStringList keys;    // typed with xdotool, each its own key
    const char* window;  // the window whose controls are checked
    std::vector<Expected> expected;
};

class ScreenReader : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(X11Session::haveDisplay()) << "run under an X server (./test.sh starts Xvfb)";
        bus_.setProgram(QStringLiteral("/usr/libexec/at-spi-bus-launcher"));
        bus_.setArguments({QStringLiteral("--launch-immediately")});
        bus_.start();
        ASSERT_TRUE(bus_.waitForStarted(10000)) << "at-spi-bus-launcher (at-spi2-core) is missing";
        QDeadlineTimer deadline(20000);
        while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus"))) {
            ASSERT_FALSE(deadline.hasExpired()) << "the accessibility bus did not start";
            QThread::msleep(50);
        }
    }

    void TearDown() override
    {
        bus_.terminate();
        bus_.waitForFinished(5000);
    }

    std::vector<Node> tree(qint64 pid)
    {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {qEnvironmentVariable("VEXLO_SOURCE_DIR") + QStringLiteral("/tests/x11/atspi_tree.py"), QString::number(pid)});
        p.waitForFinished(30000);
        std::vector<Node> nodes;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.size() == 5)
                nodes.push_back({f[0], f[1], f[2], f[3], f[4]});
        }
        return nodes;
    }

    QProcess bus_;
};

const Node* find(const std::vector<Node>& nodes, const QString& window, const Expected& e)
{
    for (const Node& n : nodes)
        if (n.window == window && n.role == QLatin1String(e.role) && knownAs(n) == QString::fromUtf8(e.name)
            && n.description.startsWith(QString::fromUtf8(e.description)))
            return &n;
    return nullptr;
}

TEST_F(ScreenReader, EveryControlHasANameOfItsOwn)
{
    QTemporaryDir data;
    ASSERT_TRUE(QDir().mkpath(data.path() + QStringLiteral("/vexlo/memos")));
    ASSERT_FALSE(WriteTestMemo(data.path() + QStringLiteral("/vexlo/memos"),
                               {QStringLiteral("買い物"), QStringLiteral("ｶｲﾓﾉ"),
                                QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)), StrokeMemo(1)})
                     .isEmpty());
    QImage picture(300, 200, QImage::Format_Mono);
    picture.fill(1);
    const QString file = data.path() + QStringLiteral("/big.bmp");
    ASSERT_TRUE(picture.save(file));

    // A window manager as on a user's desktop, so that a closed dialog gives the focus back to
    // the frame and the next keys reach it; one that already runs keeps the display.
    QProcess wm;
    const QString wmStarted = data.path() + QStringLiteral("/wm-started");
    wm.start(QStringLiteral("openbox"), {QStringLiteral("--startup"), QStringLiteral("touch ") + wmStarted});
    QDeadlineTimer wmDeadline(10000);
    while (!QFile::exists(wmStarted) && !wm.waitForFinished(20) && !wmDeadline.hasExpired()) {
    }

    X11Session session;
    session.setEnv(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    session.setEnv(QStringLiteral("XDG_DATA_HOME"), data.path());
    session.setEnv(QStringLiteral("XDG_CACHE_HOME"), data.path() + QStringLiteral("/cache"));
    ASSERT_TRUE(session.start({file}));
    const QString frame = session.waitForWindow(QStringLiteral("VEXLO"));
    ASSERT_FALSE(frame.isEmpty()) << "the frame window did not appear";
    session.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), frame});

    const Scene scenes[] = {
        {"the frame's tool bar", {}, "VEXLO",
         {{"push button", "新規作成", ""}, {"push button", "ファイルを開く", ""}, {"push button", "データを送信", ""},
          {"push button", "設定", ""}}},
        {"メモ一覧", {"alt+f", "m"}, "VEXLO",
         {{"text", "検索", ""}, {"combo box", "並べ替え", ""}, {"list", "メモの一覧", ""},
          {"push button", "タグ・メモ書き", ""}, {"push button", "スター", ""},
          {"list item", "買い物", "買い物、2026-03-04 05:06"}}},
        {"各種設定", {"Escape", "alt+o"}, "各種設定",
         {{"combo box", "通信ポート", ""}, {"panel", "通信速度", ""}, {"panel", "パリティ", ""},
          {"panel", "ｽﾄｯﾌﾟﾋﾞｯﾄ", ""}, {"panel", "データ長", ""}}},
        {"送信用に変換", {"Escape", "ctrl+d"}, "送信用に変換",
         {{"spin button", "枠 幅", ""}, {"spin button", "枠 高さ", ""}, {"slider", "明るさ", ""},
          {"slider", "コントラスト", ""}, {"spin button", "ガンマ", ""}, {"slider", "しきい値の値", ""},
          {"combo box", "回転", ""}, {"filler", "等倍のプレビュー", "送信される画像: 124 × 83 ドット"},
          {"filler", "4倍のプレビュー", "送信される画像: 124 × 83 ドット"}}},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        for (const QString& key : scene.keys) {
            session.xdotool({QStringLiteral("key"), key});
            QThread::msleep(300);  // a menu opens, a dialog goes, before the next key
        }
        // The tree fills in as the window shows: wait for what is expected to appear.
        std::vector<Node> nodes;
        QDeadlineTimer deadline(20000);
        const QString window = QString::fromUtf8(scene.window);
        auto missing = [&] {
            QStringList out;
            for (const Expected& e : scene.expected)
                if (!find(nodes, window, e))
                    out << QStringLiteral("%1 \"%2\" \"%3…\"").arg(e.role, e.name, e.description);
            return out;
        };
        do {
            nodes = tree(session.pid());
        } while (!missing().isEmpty() && !deadline.hasExpired() && (QThread::msleep(200), true));
        QString all;
        for (const Node& n : nodes)
            if (n.window == window)
                all += QStringLiteral("  %1 \"%2\" [%3] {%4}\n").arg(n.role, n.name, n.description, n.labels);
        EXPECT_TRUE(missing().isEmpty()) << "not heard: " << missing().join(QStringLiteral(", ")).toStdString()
                                         << "\nheard:\n" << all.toStdString();

        QMap<QString, int> heard;
        for (const Node& n : nodes)
            if (n.window == window && kControls.contains(n.role))
                ++heard[n.role + QStringLiteral(" \"") + knownAs(n) + QLatin1Char('"')];
        for (auto it = heard.cbegin(); it != heard.cend(); ++it) {
            EXPECT_FALSE(it.key().endsWith(QStringLiteral("\"\""))) << it.value() << " × " << it.key().toStdString() << " without a name";
            EXPECT_EQ(it.value(), 1) << it.key().toStdString() << " heard " << it.value() << " times";
        }
    }
}

}  // namespace
