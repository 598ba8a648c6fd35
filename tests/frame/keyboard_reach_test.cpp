// Everything the keyboard reaches: no mnemonic stands for two things in one menu or dialog, and
// Tab enters a group of radio buttons at its checked button, so that Space never changes a
// setting the user only passed through.
#include "support/ProgramFixture.h"

#include "app/OptionsDialog.h"
#include "app/PrepareDialog.h"
#include "app/TitleDialog.h"
#include "gui/ExportDlg.h"
#include "library/MemoNotesDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QListView>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <functional>

namespace {

using KeyboardReach = ProgramFixture;

// The letter after the first single '&' of TEXT ("&&" is a plain '&'); none: a null QChar.
QChar mnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] != QLatin1Char('&'))
                return text[i + 1].toUpper();
            ++i;
        }
    return {};
}

// The texts whose mnemonics a menu answers to.
QStringList menuTexts(const QWidget* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            texts << a->text();
    return texts;
}

// The texts whose mnemonics DIALOG answers to as it is shown now: buttons, group boxes, tabs and
// labels that lead to a control (a hidden page's controls take no keys).
QStringList dialogTexts(QWidget* dialog)
{
    QStringList texts;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(dialog))
            continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy())
            texts << l->text();
        else if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i)
                texts << t->tabText(i);
    }
    return texts;
}

// "X: a, b" for each letter that two or more of TEXTS use.
QStringList twiceUsed(const QStringList& texts)
{
    QMap<QChar, QStringList> by;
    for (const QString& t : texts)
        if (const QChar c = mnemonicOf(t); !c.isNull())
            by[c] << t;
    QStringList out;
    for (auto it = by.cbegin(); it != by.cend(); ++it)
        if (it.value().size() > 1)
            out << QStringLiteral("%1: %2").arg(it.key()).arg(it.value().join(QStringLiteral(", ")));
    return out;
}

struct Surface {
    QString name;
    QStringList texts;
};

TEST_F(KeyboardReach, NoMnemonicIsUsedTwiceInAMenuOrDialog)
{
    start();
    std::vector<Surface> surfaces;
    auto menus = [&](const QString& when) {
        surfaces.push_back({QStringLiteral("MainMenu1 ") + when, menuTexts(MainForm->menuBar())});
        for (QMenu* m : {MainForm->File1, MainForm->Edit1, MainForm->Comm1, MainForm->View1, MainForm->Window1,
                         MainForm->About1}) {
            emit m->aboutToShow();  // the window list fills in
            surfaces.push_back({m->objectName() + QLatin1Char(' ') + when, menuTexts(m)});
        }
    };
    menus(QStringLiteral("without a memo window"));
    for (int i = 0; i < 3; ++i)
        MainForm->findChild<QAction*>(QStringLiteral("New1"))->trigger();
    QCoreApplication::processEvents();
    menus(QStringLiteral("with memo windows"));

    MainForm->findChild<QAction*>(QStringLiteral("Library1"))->trigger();
    QCoreApplication::processEvents();
    auto* list = MainForm->findChild<QListView*>(QStringLiteral("List1"));
    ASSERT_NE(list, nullptr);
    surfaces.push_back({QStringLiteral("List1's menu"), menuTexts(list)});

    TMemoNotesDialog notes({LibraryMemo{QStringLiteral("/m.png"), QStringLiteral("m"), {}, {}, false,
                                        {QStringLiteral("仕事")}, {}, false}},
                           MainForm);
    surfaces.push_back({notes.objectName(), dialogTexts(&notes)});
    TPrepareDialog prepare(MainForm);
    surfaces.push_back({prepare.objectName(), dialogTexts(&prepare)});
    TExportDlg exportDlg(MainForm);
    surfaces.push_back({exportDlg.objectName(), dialogTexts(&exportDlg)});
    surfaces.push_back({TitleInput1->objectName(), dialogTexts(TitleInput1)});
    OptionsDialog options(MainForm);
    for (int page = 0; page < options.TabSet->count(); ++page) {
        options.TabSet->setCurrentIndex(page);
        surfaces.push_back({options.TabSet->tabText(page), dialogTexts(&options)});
    }

    for (const Surface& s : surfaces) {
        EXPECT_GE(s.texts.size(), 2) << s.name.toStdString() << ": nothing found to compare";
        EXPECT_EQ(twiceUsed(s.texts), QStringList()) << s.name.toStdString();
    }
}

struct TabCase {
    const char* name;
    std::function<QDialog*()> make;
    QStringList checked;  // object names of the buttons checked before the walk
};

void PrintTo(const TabCase& c, std::ostream* os) { *os << c.name; }

class TabIntoGroups : public ProgramFixture, public testing::WithParamInterface<TabCase> {};

// Walks the whole tab chain (and back) with the checked buttons not the first of their groups:
// every radio button that Tab or Shift+Tab lands on is a checked one, and each group is reached.
TEST_P(TabIntoGroups, LandOnTheCheckedButton)
{
    start();
    std::unique_ptr<QDialog> dialog(GetParam().make());
    dialog->show();  // the options take the settings as they show
    QApplication::setActiveWindow(dialog.get());
    QCoreApplication::processEvents();
    for (const QString& name : GetParam().checked) {
        auto* b = dialog->findChild<QRadioButton*>(name);
        ASSERT_NE(b, nullptr) << name.toStdString();
        b->setChecked(true);
    }
    // From ｷｬﾝｾﾙ (OK is off while nothing is to be prepared) round the chain back to it.
    auto* cancel = dialog->findChild<QWidget*>(QStringLiteral("CancelBtn"));
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        cancel->setFocus();
        QSet<QString> reached;
        for (int i = 0; i < 80; ++i) {
            QTest::keyClick(dialog->focusWidget(), key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            QWidget* focus = dialog->focusWidget();
            ASSERT_NE(focus, nullptr);
            if (focus == cancel)
                break;
            if (auto* b = qobject_cast<QRadioButton*>(focus)) {
                EXPECT_TRUE(b->isChecked()) << b->objectName().toStdString() << " reached by "
                                            << (key == Qt::Key_Tab ? "Tab" : "Shift+Tab");
                reached << b->objectName();
            }
        }
        for (const QString& name : GetParam().checked)
            EXPECT_TRUE(reached.contains(name)) << name.toStdString() << " never reached";
    }
    // Space on the checked button keeps it; the arrows still move within the group.
    auto* b = dialog->findChild<QRadioButton*>(GetParam().checked.first());
    b->setFocus();
    QTest::keyClick(b, Qt::Key_Space);
    EXPECT_TRUE(b->isChecked());
    QTest::keyClick(b, Qt::Key_Up);
    EXPECT_FALSE(b->isChecked()) << "Up checks the button above";
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, TabIntoGroups,
    testing::Values(TabCase{"Prepare", [] { return new TPrepareDialog(MainForm); }, {"RadioGroup1_2", "RadioGroup2_3"}},
                    TabCase{"Options", [] { return new OptionsDialog(MainForm); },
                            {"RadioGroup1_3", "RadioGroup2_1", "RadioGroup3_2", "RadioGroup4_1"}},
                    TabCase{"Export", [] { return new TExportDlg(MainForm); }, {"SvgBtn"}}),
    [](const testing::TestParamInfo<TabCase>& info) { return info.param.name; });

}  // namespace
