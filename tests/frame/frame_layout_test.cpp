// The frame's menus, tool bar and status bar as a user meets them.
#include "support/ProgramFixture.h"

#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {

using FrameLayout = ProgramFixture;

QStringList captionsOf(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QStringList namesOf(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << a->objectName();
    return out;
}

TEST_F(FrameLayout, MenusInOrderWithTheirCaptions)
{
    start();
    QStringList bar;
    for (const QAction* a : MainForm->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, QStringList({"ﾌｧｲﾙ(&F)", "編集(&E)", "通信(&C)", "設定(&O)", "表示(&V)", "ｳｨﾝﾄﾞｳ(&W)", "ﾍﾙﾌﾟ(&H)"}));

    struct MenuCase {
        QMenu* menu;
        QStringList names;
        QStringList captions;
    };
    const MenuCase cases[] = {
        {MainForm->File1,
         {"New1", "Open1", "Load1", "Library1", "Save1", "SaveAs1", "Export1", "Print1", "PrintSetup1", "Close1", "N1",
          "Exit1"},
         {"ウィンドウの新規作成(&N)", "ウィンドウを開く(&O)", "ウィンドウにロード(&L)", "メモ一覧(&M)", "上書き保存する(&S)",
          "名前を付けて保存する(&A)", "書き出し(&E)...", "印刷(&P)", "プリンタの設定(&T)", "ウィンドウを閉じる(&C)", "-",
          "終了(&X)"}},
        {MainForm->Edit1,
         {"Undo1", "N3", "Copy1", "Cut1", "Paste1", "Delete1", "SelectAll1", "N4", "Prepare1"},
         {"元に戻す(&U)", "-", "コピー(&C)", "切り取り(&T)", "張り付け(&P)", "削除(&D)", "すべてを選択(&S)", "-",
          "送信用に変換(&V)..."}},
        {MainForm->Comm1, {"Transmit1", "Receive1"}, {"データを送信する(&T)", "データを受信する(&R)"}},
        {MainForm->View1, {"ZoomIn1", "ZoomOut1", "ActualSize1"}, {"拡大(&I)", "縮小(&O)", "等倍(&A)"}},
        {MainForm->Window1,
         {"Tile1", "Cascade1", "AllangeIcons1"},
         {"並べて表示(&T)", "重ねて表示(&C)", "アイコンの整理(&A)"}},
        {MainForm->About1,
         {"Help1", "K1", "K2", "N2", "KA1"},
         {"目次(&C)", "キーワードで検索(&T)", "ヘルプの使い方(&H)", "-", "バージョン情報(&A)"}},
    };
    for (const MenuCase& c : cases) {
        EXPECT_EQ(namesOf(c.menu), c.names) << c.menu->objectName().toStdString();
        EXPECT_EQ(captionsOf(c.menu), c.captions) << c.menu->objectName().toStdString();
    }
}

TEST_F(FrameLayout, ToolBarButtonsWidthsHintsAndSpacers)
{
    start();
    auto* bar = MainForm->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
    ASSERT_NE(bar, nullptr);
    struct Item {
        const char* name;
        int width;
        const char* hint;
    };
    const Item expected[] = {
        {"NewSB1", 25, "新規作成"},      {"SpeedButton1", 25, "ファイルを開く"}, {"SaveSB1", 25, "名前を付けて保存"},
        {"CloseSB1", 25, "ファイルを閉じる"}, {"Panel1", 13, ""},               {"CopySB1", 25, "コピー"},
        {"PasteSB1", 25, "張り付け"},    {"CutSB1", 26, "切り取り"},           {"Panel5", 12, ""},
        {"TransSB1", 25, "データを送信"}, {"RecvSB1", 25, "データを受信"},      {"Panel6", 14, ""},
        {"CommSB1", 24, "設定"},
    };
    const QList<QAction*> actions = bar->actions();
    ASSERT_EQ(actions.size(), int(std::size(expected)));
    for (int i = 0; i < actions.size(); ++i) {
        QWidget* w = bar->widgetForAction(actions[i]);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName(), expected[i].name);
        EXPECT_EQ(w->width(), expected[i].width) << expected[i].name;
        EXPECT_EQ(w->height(), 24) << expected[i].name;
        EXPECT_EQ(w->toolTip(), QString::fromUtf8(expected[i].hint)) << expected[i].name;
        if (auto* button = qobject_cast<QToolButton*>(w)) {
            EXPECT_TRUE(button->autoRaise()) << "flat: " << expected[i].name;
            const QIcon icon = button->icon();
            EXPECT_FALSE(icon.pixmap(18, QIcon::Normal).toImage() == icon.pixmap(18, QIcon::Disabled).toImage())
                << "a distinct disabled picture: " << expected[i].name;
        }
    }
}

TEST_F(FrameLayout, StatusPanels)
{
    start();
    struct Panel {
        QLabel* label;
        const char* hint;
        Qt::Alignment align;
        int width;  // 0: fills the rest
        const char* text;
    };
    const Panel panels[] = {
        {MainForm->namePanel, "選択されているウィンドウ", Qt::AlignLeft, 113, "NO IMAGE"},
        {MainForm->sizePanel, "有効な画像の領域", Qt::AlignLeft, 0, ""},
        {MainForm->bytesPanel, "ファイルの大きさ(モノクロ)", Qt::AlignRight, 116, "0Bytes"},
    };
    for (const Panel& p : panels) {
        EXPECT_EQ(p.label->toolTip(), QString::fromUtf8(p.hint));
        EXPECT_TRUE(p.label->alignment() & p.align) << p.hint;
        EXPECT_EQ(p.label->text(), QString::fromUtf8(p.text));
        EXPECT_EQ(p.label->height(), 22);
        EXPECT_EQ(p.label->font().pixelSize(), 16);
        if (p.width) {
            EXPECT_EQ(p.label->width(), p.width) << p.hint;
        }
    }
    EXPECT_GT(MainForm->sizePanel->width(), 113) << "the middle panel takes the rest of the bar";
    // The Windows font name maps onto an installed Japanese font.
    EXPECT_TRUE(QFontInfo(MainForm->namePanel->font()).family().startsWith(QStringLiteral("IPA")))
        << QFontInfo(MainForm->namePanel->font()).family().toStdString() << " for " << MainForm->namePanel->font().family().toStdString();
}

// The layout size, 520 x 378, at least; and a good share of the screen, never more than it.
TEST_F(FrameLayout, CaptionAndSizeOnFirstStart)
{
    start();
    EXPECT_EQ(MainForm->windowTitle(), "VEXLO");
    const QSize free = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_GE(MainForm->width(), std::max(520, free.width() / 2));
    EXPECT_GE(MainForm->height(), std::max(378, free.height() / 2));
    EXPECT_LE(MainForm->width(), free.width());
    EXPECT_LE(MainForm->height(), free.height());
}

}  // namespace
