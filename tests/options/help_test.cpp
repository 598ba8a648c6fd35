// The help pages as shipped, and the help window reached from the program: every context
// number the program asks for, every keyword and every link leads to a page; F1 and the
// Help buttons open the right page; a missing help folder says so in the window.
#include "support/ProgramFixture.h"

#include "app/About.h"
#include "app/ConnectionStatusDialog.h"
#include "gui/HelpKeys.h"
#include "app/OptionsDialog.h"
#include "app/TitleDialog.h"
#include "memo/MemoWindow.h"
#include "gui/HelpEngine.h"
#include "platform/HelpIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString sourcePages() { return qEnvironmentVariable("VEXLO_SOURCE_DIR") + QStringLiteral("/resources/help"); }
QString builtPages() { return qEnvironmentVariable("VEXLO_BINARY_DIR") + QStringLiteral("/app/help"); }

TEST(HelpPages, ContextsKeywordsAndLinksAllLeadToPages)
{
    platform::HelpIndex index;
    ASSERT_TRUE(index.Load(sourcePages()));
    for (unsigned long context : HelpContextsInUse())
        EXPECT_NE(index.ByContext(context), nullptr) << "context " << context;
    EXPECT_EQ(index.ByContext(24)->file, "options.html");
    EXPECT_EQ(index.ByContext(8000)->file, "title.html");
    EXPECT_NE(index.ByFile("helponhelp.html"), nullptr);

    const auto keywords = index.Keywords();
    EXPECT_GT(keywords.size(), 100u);
    for (const auto& [keyword, file] : keywords)
        EXPECT_NE(index.ByFile(file), nullptr) << keyword.toStdString();

    const platform::HelpTopic* contents = index.ByFile("contents.html");
    for (const platform::HelpTopic& page : index.Topics()) {
        EXPECT_FALSE(page.title.isEmpty()) << page.file.toStdString();
        if (&page != contents) {
            EXPECT_TRUE(contents->links.contains(page.file)) << page.file.toStdString() << " is not in the contents";
        }
        for (const QString& link : page.links) {
            if (link.startsWith("http:") || link.startsWith("https:") || link.startsWith("mailto:"))
                continue;
            EXPECT_NE(index.ByFile(link.section('#', 0, 0)), nullptr)
                << page.file.toStdString() << " links to " << link.toStdString();
        }
    }
    // The build puts every page next to the program.
    for (const platform::HelpTopic& page : index.Topics())
        EXPECT_TRUE(QFileInfo::exists(QDir(builtPages()).filePath(page.file))) << page.file.toStdString();
}

TEST(HelpPages, KeywordsAndSearchMatchParts)
{
    platform::HelpIndex index;
    ASSERT_TRUE(index.Load(sourcePages()));
    struct Case {
        const char* key;
        const char* page;  // among the matches
    };
    for (const Case& c : {Case{"ポート", "options.html"}, Case{"ini", "ini.html"}, Case{"題名読み", "title.html"},
                          Case{"範囲", "region.html"}}) {
        bool found = false;
        for (const auto& [keyword, file] : index.MatchKeywords(QString::fromUtf8(c.key)))
            found = found || file == QLatin1String(c.page);
        EXPECT_TRUE(found) << c.key;
    }
    EXPECT_EQ(index.MatchKeywords("").size(), index.Keywords().size());
    EXPECT_TRUE(index.MatchKeywords("zzzz-nothing").empty());
    auto finds = [&](const char* words, const char* page) {
        for (const platform::HelpTopic* t : index.Search(QString::fromUtf8(words)))
            if (t->file == QLatin1String(page))
                return true;
        return false;
    };
    EXPECT_TRUE(finds("Esc 範囲", "region.html"));
    EXPECT_TRUE(finds("DIALOUT", "ini.html")) << "any case";
    EXPECT_FALSE(finds("dialout ドラッグ", "ini.html")) << "every word must occur";
    EXPECT_TRUE(index.Search("zzzz-nothing").empty());
}

// The help window over the pages the build puts next to the program.
class HelpWindow : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        qputenv("VEXLO_HELP_DIR", builtPages().toUtf8());
    }
    void TearDown() override
    {
        platform::WinHelp(platform::HELP_QUIT, 0);
        QCoreApplication::processEvents();
        qunsetenv("VEXLO_HELP_DIR");
        ProgramFixture::TearDown();
    }
};

TEST_F(HelpWindow, MenusButtonsAndF1OpenTheirPages)
{
    start();
    struct Case {
        const char* name;
        std::function<void()> act;
        const char* page;
    };
    const std::vector<Case> cases{
        {"contents", [] { MainForm->showHelpContents(); }, "contents.html"},
        {"help on help", [] { MainForm->showHelpOnHelp(); }, "helponhelp.html"},
        {"options Help button", [] { MultPageDlg->HelpBtn->click(); }, "options.html"},
        {"title dialog's Help button", [] { TitleInput1->BitBtn2->click(); }, "title.html"},
        {"F1 in the frame", [] { QTest::keyClick(MainForm, Qt::Key_F1); }, "frame.html"},
        {"F1 in the options dialog",
         [] {
             MultPageDlg->show();
             MultPageDlg->activateWindow();
             QTest::keyClick(MultPageDlg->RadioGroup1->Box, Qt::Key_F1);
             MultPageDlg->hide();
         },
         "options.html"},
    };
    for (const Case& c : cases) {
        platform::WinHelp(platform::HELP_QUIT, 0);
        QCoreApplication::processEvents();
        c.act();
        QCoreApplication::processEvents();
        EXPECT_TRUE(platform::HelpWindowOpen()) << c.name;
        EXPECT_EQ(platform::HelpWindowPage(), c.page) << c.name;
    }
    // Escape closes it from any of its controls, a page, a list or a search box alike.
    for (const char* control : {"HelpBrowser", "HelpContents", "HelpSearchEdit"}) {
        MainForm->showHelpContents();
        QCoreApplication::processEvents();
        ASSERT_TRUE(platform::HelpWindowOpen()) << control;
        QWidget* help = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("HelpWindow") && w->isVisible())
                help = w;
        ASSERT_NE(help, nullptr);
        QTest::keyClick(help->findChild<QWidget*>(QString::fromLatin1(control)), Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_FALSE(platform::HelpWindowOpen()) << control;
    }
    // HELP_QUIT, as the frame sends it at exit, closes the window.
    MainForm->showHelpContents();
    QCoreApplication::processEvents();
    MainForm->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(platform::HelpWindowOpen());
}

// The options dialog runs modally; its Help button opens the window, which must still take
// clicks (a page chosen in the contents) while the dialog is up.
// The questions the program asks about changed memos are the ones their help pages describe:
// the frame's page the one question at 終了 for several memos, the memo window's page the
// question when one closes.
TEST_F(HelpWindow, ThePagesDescribeTheQuestionsAsked)
{
    start();
    for (int i = 0; i < 2; ++i) {
        MainForm->newWindow();
        MainForm->memoWindows().back()->Modified = true;
    }
    answers = {BoxAnswer::Cancel, BoxAnswer::Cancel};
    MainForm->close();  // both at once
    MainForm->memoWindows().front()->close();  // one
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.size(), 2u);

    struct Case {
        const char* page;
        QString asked;  // the question's first line, its number and name as the page writes them
    };
    const Case cases[] = {
        {"frame.html", boxes[0].text.section(QLatin1Char('\n'), 0, 0).replace(QStringLiteral("2"), QStringLiteral("n"))},
        {"memo.html",
         boxes[1].text.section(QLatin1Char('\n'), 0, 0).replace(MainForm->memoWindows().front()->memoLabel(),
                                                                QStringLiteral("(ファイル名)"))},
    };
    for (const Case& c : cases) {
        QFile page(sourcePages() + QLatin1Char('/') + QLatin1String(c.page));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << c.page;
        EXPECT_TRUE(QString::fromUtf8(page.readAll()).contains(c.asked)) << c.page << " does not say " << c.asked.toStdString();
    }
}

TEST_F(HelpWindow, StaysUsableBesideAModalDialog)
{
    start();
    QString pageAfterClick;
    bool modalWhileClicking = false;
    QTimer::singleShot(0, [&] {
        modalWhileClicking = QApplication::activeModalWidget() == MultPageDlg;
        MultPageDlg->HelpBtn->click();
        QCoreApplication::processEvents();
        QListWidget* list = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "HelpWindow")
                list = w->findChild<QListWidget*>("HelpContents");
        if (list) {
            for (int i = 0; i < list->count(); ++i) {
                if (list->item(i)->data(Qt::UserRole).toString() == "ini.html") {
                    // Through the window system, where a modal dialog blocks input.
                    const QPoint at = list->viewport()->mapTo(list->window(),
                                                              list->visualItemRect(list->item(i)).center());
                    QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {}, at);
                }
            }
        }
        QCoreApplication::processEvents();
        pageAfterClick = platform::HelpWindowPage();
        MultPageDlg->CancelBtn->click();
    });
    MultPageDlg->exec();
    EXPECT_TRUE(modalWhileClicking);
    EXPECT_EQ(pageAfterClick, "ini.html");
}

TEST_F(HelpWindow, EveryWindowHasTheContextOfItsPage)
{
    start();
    struct Case {
        QWidget* window;
        unsigned long context;
    };
    for (const Case& c : {Case{MainForm, HelpContext::Frame}, Case{MultPageDlg, 24}, Case{TitleInput1, 8000},
                          Case{Connect1, HelpContext::Status}, Case{AboutBox, HelpContext::About}})
        EXPECT_EQ(HelpContextOf(c.window), c.context) << c.window->objectName().toStdString();
    QMessageBox box;
    EXPECT_EQ(HelpContextOf(&box), HelpContext::Messages);
    auto* memo = new MemoWindow;
    MainForm->addMemoWindow(memo);
    EXPECT_EQ(HelpContextOf(MainForm), HelpContext::Memo);
    memo->SelectMode = true;
    EXPECT_EQ(HelpContextOf(MainForm), HelpContext::Region);
    memo->SelectMode = false;
}

TEST_F(HelpWindow, AMissingFolderOrPageIsSaidInTheWindow)
{
    start();
    QTemporaryDir empty;
    qputenv("VEXLO_HELP_DIR", empty.path().toUtf8());
    if (!platform::FindHelpFolder().isEmpty())
        GTEST_SKIP() << "help pages are installed on this machine: " << platform::FindHelpFolder().toStdString();
    EXPECT_FALSE(platform::WinHelp(platform::HELP_CONTENTS, 0));
    EXPECT_TRUE(platform::HelpWindowOpen());
    EXPECT_TRUE(platform::HelpWindowText().contains("ヘルプファイルが見つかりません"));
    EXPECT_TRUE(platform::HelpWindowText().contains(empty.path()));

    qputenv("VEXLO_HELP_DIR", builtPages().toUtf8());
    EXPECT_FALSE(platform::WinHelp(platform::HELP_CONTEXT, 12345));
    EXPECT_TRUE(platform::HelpWindowText().contains("12345"));
    EXPECT_TRUE(platform::WinHelp(platform::HELP_PARTIALKEY, 0));
}

}  // namespace
