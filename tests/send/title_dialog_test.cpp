// The title dialog as a user meets it: what OK, 無視 and the close box hand to Send, and
// what the edit boxes take.
#include "support/ProgramFixture.h"

#include "app/TitleDialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace {

// Types TEXT character by character, as a keyboard or an input method delivers it.
void typeText(QWidget* edit, const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
        QCoreApplication::sendEvent(edit, &key);
    }
}

class TitleDialogTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        start();
    }

    // Shows the dialog modally and lets USER act on it once it is up; returns once it closed.
    void showAnd(const std::function<void(TitleDialog&)>& user)
    {
        QTimer::singleShot(0, TitleInput1, [user] {
            user(*TitleInput1);
            if (TitleInput1->isVisible())
                stillOpen = true;
            if (TitleInput1->isVisible())
                TitleInput1->BitBtn3->click();  // whatever the case left open
        });
        stillOpen = false;
        TitleInput1->exec();
    }

    static inline bool stillOpen = false;
};

struct Ending {
    const char* name;
    const char* title;
    const char* reading;
    std::function<void(TitleDialog&)> end;
    const char* wantTitle;
    const char* wantReading;
    bool stays;     // the dialog was still up afterwards
    bool errorBox;  // "題名読みは省略できません" came
};

class TitleDialogEnding : public TitleDialogTest, public testing::WithParamInterface<Ending> {};

TEST_P(TitleDialogEnding, HandsSendWhatTheUserChose)
{
    const Ending& c = GetParam();
    showAnd([&c](TitleDialog& d) {
        typeText(d.Edit1, QString::fromUtf8(c.title));
        typeText(d.Edit2, QString::fromUtf8(c.reading));
        c.end(d);
    });
    EXPECT_EQ(TitleInput1->GetTitle(), QString::fromUtf8(c.wantTitle));
    EXPECT_EQ(TitleInput1->GetTitleReader(), QString::fromUtf8(c.wantReading));
    EXPECT_EQ(stillOpen, c.stays);
    if (c.errorBox) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, QStringLiteral("ｴﾗｰ"));
        EXPECT_EQ(boxes[0].text, QStringLiteral("題名読みは省略できません"));
    } else {
        EXPECT_TRUE(boxes.empty());
    }
}

const auto ok = [](TitleDialog& d) { d.BitBtn1->click(); };
const auto enter = [](TitleDialog& d) { QTest::keyClick(d.Edit2, Qt::Key_Return); };
const auto ignore = [](TitleDialog& d) { d.BitBtn3->click(); };
const auto closeBox = [](TitleDialog& d) { d.close(); };
const auto escape = [](TitleDialog& d) { QTest::keyClick(d.Edit1, Qt::Key_Escape); };

INSTANTIATE_TEST_SUITE_P(
    Cases, TitleDialogEnding,
    testing::Values(Ending{"OkTakesBoth", "題名", "だいめい", ok, "題名", "だいめい", false, false},
                    Ending{"EnterPressesOk", "a", "b", enter, "a", "b", false, false},
                    Ending{"OkWithAnEmptyTitle", "", "よみ", ok, "", "よみ", false, false},
                    Ending{"BlanksAreAReading", "t", "   ", ok, "t", "   ", false, false},
                    Ending{"EmptyReadingIsRefused", "題名", "", ok, "", "", true, true},
                    Ending{"IgnoreHandsNothing", "題名", "よみ", ignore, "", "", false, false},
                    Ending{"CloseBoxActsAsIgnore", "題名", "よみ", closeBox, "", "", false, false},
                    Ending{"EscapeDoesNothing", "題名", "よみ", escape, "", "", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TitleDialogTest, ASecondShowingKeepsTheTextsButHandsNothingUntilOk)
{
    showAnd([](TitleDialog& d) {
        d.Edit1->setText(QStringLiteral("一回目"));
        d.Edit2->setText(QStringLiteral("いっかいめ"));
        d.BitBtn1->click();
    });
    ASSERT_EQ(TitleInput1->GetTitle(), QStringLiteral("一回目"));
    QString titleWhileUp = QStringLiteral("unset");
    showAnd([&](TitleDialog& d) {
        titleWhileUp = d.GetTitle() + d.GetTitleReader();
        EXPECT_EQ(d.Edit1->text(), QStringLiteral("一回目"));
        EXPECT_EQ(d.Edit2->text(), QStringLiteral("いっかいめ"));
        d.close();
    });
    EXPECT_EQ(titleWhileUp, QString());
    EXPECT_EQ(TitleInput1->GetTitle(), QString());
    EXPECT_EQ(TitleInput1->GetTitleReader(), QString());
}

struct Input {
    const char* name;
    std::string before;  // already in the box, cursor at its end
    std::string typed;   // typed key by key
    std::string pasted;  // then pasted
    std::string want;
    bool note;
};

class TitleDialogInput : public TitleDialogTest, public testing::WithParamInterface<Input> {};

TEST_P(TitleDialogInput, TakesAtMostSixtyShiftJisBytesOfSendableCharacters)
{
    const Input& c = GetParam();
    TitleDialog& d = *TitleInput1;
    d.show();
    d.Edit1->setText(QString::fromStdString(c.before));
    d.Note1->clear();
    typeText(d.Edit1, QString::fromStdString(c.typed));
    if (!c.pasted.empty()) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(c.pasted));
        d.Edit1->paste();
    }
    EXPECT_EQ(d.Edit1->text(), QString::fromStdString(c.want));
    EXPECT_EQ(!d.Note1->text().isEmpty(), c.note) << d.Note1->text().toStdString();
    d.Edit1->clear();
    d.close();
}

const std::string kA60(60, 'a');
const std::string kA59(59, 'a');
const std::string kKana30 = [] {
    std::string s;
    for (int i = 0; i < 30; ++i)
        s += "あ";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, TitleDialogInput,
    testing::Values(Input{"SixtyHalfWidth", "", kA60, "", kA60, false},
                    Input{"TypingPastTheLimitStops", kA60, "b", "", kA60, true},
                    Input{"ThirtyFullWidthFill", "", (kKana30 + "あ"), "", kKana30, true},
                    Input{"AFullWidthCharacterIsNeverHalved", kA59, "あ", "", kA59, true},
                    Input{"PasteStopsAtTheLastWholeCharacter", "", "", (kA59 + "あb"), kA59, true},
                    Input{"PasteThatFitsGoesIn", "ab", "", "漢字ｶﾅ", "ab漢字ｶﾅ", false},
                    Input{"NoShiftJisFormIsRefusedWhenTyped", "a", "한", "", "a", true},
                    Input{"NoShiftJisFormIsDroppedFromAPaste", "", "", "x😀y€z", "xyz", true}),
    [](const auto& info) { return std::string(info.param.name); });

// Under the boxes the dialog shows what the device will get: the title cut after its 51st
// code, kanji gone from the reading, the switches applied.
struct PreviewCase {
    const char* name;
    std::string title;
    std::string reading;
    bool zenToHan;
    std::string sentTitle;
    std::string cutTitle;
    std::string sentReading;
};

class TitlePreviewOf : public testing::TestWithParam<PreviewCase> {};

TEST_P(TitlePreviewOf, IsWhatTheRecordsCarry)
{
    const PreviewCase& c = GetParam();
    const TTitlePreview p = PreviewTitle(QString::fromStdString(c.title), QString::fromStdString(c.reading), false, c.zenToHan);
    EXPECT_EQ(p.Title, QString::fromStdString(c.sentTitle));
    EXPECT_EQ(p.TitleCut, QString::fromStdString(c.cutTitle));
    EXPECT_EQ(p.Reading, QString::fromStdString(c.sentReading));
    EXPECT_EQ(p.ReadingCut, QString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TitlePreviewOf,
    testing::Values(PreviewCase{"SixtyLettersLoseTheLastNine", kA60, "a", false, kA60.substr(0, 51),
                                "aaaaaaaaa", "A"},
                    PreviewCase{"ThirtyKanjiAllGo", [] { std::string s; for (int i = 0; i < 30; ++i) s += "字"; return s; }(),
                                "じ", false, "字字字字字字字字字字字字字字字字字字字字字字字字字字字字字字", "", "ｼﾞ"},
                    PreviewCase{"KanjiVanishFromTheReading", "題名", "漢字かな", false, "題名", "", "ｶﾅ"},
                    PreviewCase{"HalfWidthWhenTheSwitchIsOn", "ＡＢ１", "ＡＢ", true, "AB1", "", "AB"},
                    PreviewCase{"FullWidthWhenItIsOff", "ＡＢ１", "ＡＢ", false, "ＡＢ１", "", "AB"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TitleDialogTest, ShowsTheCutOffCodesGreyedAndAsksBeforeAReadingThatSendsNothing)
{
    showAnd([this](TitleDialog& d) {
        typeText(d.Edit1, QString::fromStdString(kA60));
        QTextDocument shown;
        shown.setHtml(d.TitleView->text());
        EXPECT_EQ(shown.toPlainText().remove(QChar(0x200B)), QString::fromStdString(kA60));
        EXPECT_TRUE(d.TitleView->text().contains(d.palette().color(QPalette::Disabled, QPalette::WindowText).name()))
            << "the cut-off codes are greyed";

        typeText(d.Edit2, QStringLiteral("漢字"));
        answers.push_back(BoxAnswer::Cancel);
        d.BitBtn1->click();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, BoxKind::Confirmation);
        EXPECT_TRUE(d.isVisible()) << "ｷｬﾝｾﾙ: the reading can be changed";
        d.BitBtn1->click();  // OK this time
    });
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(TitleInput1->GetTitleReader(), QStringLiteral("漢字"));
    EXPECT_FALSE(stillOpen);
}

}  // namespace
