#include "app/TitleDialog.h"

#include "gui/ScreenFit.h"
#include "gui/Fonts.h"
#include "gui/MessageBox.h"
#include "gui/ProgramStyle.h"
#include "link/CommLink.h"
#include "platform/Cp932.h"
#include "gui/HelpEngine.h"
#include "transfer/DeviceText.h"
#include "transfer/TitleConv.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QValidator>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

LazyForm<TitleDialog> TitleInput1;

namespace {

// Shift-JIS bytes of one character (a code point); 0 when it has none.
int sjisBytes(char32_t c)
{
    std::string bytes;
    QString error;
    return platform::ToCp932(QString::fromUcs4(&c, 1), bytes, error) ? int(bytes.size()) : 0;
}

int sjisBytes(const QString& text)
{
    int total = 0;
    for (const char32_t c : text.toUcs4())
        total += sjisBytes(c);
    return total;
}

// Keeps a line edit within LIMIT Shift-JIS bytes of characters that have a Shift-JIS form.
// It sees each change as the text before and after it: the new part is kept character by
// character while it fits, and characters without a Shift-JIS form are dropped and named.
// That holds for typing, pasting, dropping and input methods alike.
class SjisLimitValidator : public QValidator {
public:
    SjisLimitValidator(QLineEdit* edit, int limit, std::function<void(const QString&)> note)
        : QValidator(edit), limit_(limit), note_(std::move(note))
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { accepted_ = text; });
    }

    State validate(QString& input, int& pos) const override
    {
        if (!produced_.isNull() && input == produced_) {
            produced_ = QString();  // what we made of the last change, looked at once more
            return Acceptable;
        }
        const QString& before = accepted_;
        qsizetype prefix = 0;
        const qsizetype shorter = std::min(before.size(), input.size());
        while (prefix < shorter && before[prefix] == input[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == input[input.size() - 1 - suffix])
            ++suffix;
        // Never split a surrogate pair between the kept and the new part.
        if (prefix > 0 && input[prefix - 1].isHighSurrogate())
            --prefix;
        if (suffix > 0 && input[input.size() - suffix].isLowSurrogate())
            --suffix;
        const QString added = input.mid(prefix, input.size() - prefix - suffix);
        if (added.isEmpty())
            return Acceptable;  // only removed

        int room = limit_ - sjisBytes(input.left(prefix)) - sjisBytes(input.right(suffix));
        QString kept;
        QString refused;
        bool full = false;
        for (const char32_t c : added.toUcs4()) {
            const int n = sjisBytes(c);
            if (n == 0) {
                if (!refused.contains(QString::fromUcs4(&c, 1)))
                    refused += QString::fromUcs4(&c, 1);
                continue;
            }
            if (full || n > room) {
                full = true;  // at the limit: nothing after it either
                continue;
            }
            room -= n;
            kept += QString::fromUcs4(&c, 1);
        }
        if (!refused.isEmpty())
            note_(QStringLiteral("「%1」は使えない文字です").arg(refused));
        else if (full)
            note_(QStringLiteral("全角%1文字(半角%2文字)までです").arg(limit_ / 2).arg(limit_));
        else
            note_(QString());
        if (kept == added)
            return Acceptable;
        if (kept.isEmpty())
            return Invalid;  // the edit keeps what it had
        input = input.left(prefix) + kept + input.right(suffix);
        pos = int(prefix + kept.size());
        produced_ = input;
        return Acceptable;
    }

private:
    int limit_;
    std::function<void(const QString&)> note_;
    QString accepted_;
    mutable QString produced_;
};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int y, QLabel* note)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(88, y, 201, 22);
    edit->setValidator(new SjisLimitValidator(edit, TitleEditLimit, [note](const QString& text) {
        note->setText(text);
    }));
    return edit;
}

// Three lines under the edit boxes (60 letters, wrapped between words), wide as they are.
QLabel* makeView(QWidget* parent, const char* name, int y, const QString& hint)
{
    auto* view = new QLabel(parent);
    view->setObjectName(QLatin1String(name));
    view->setGeometry(88, y, 201, 48);
    view->setTextFormat(Qt::RichText);
    view->setWordWrap(true);
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setToolTip(hint);
    return view;
}

// TEXT for a rich-text label that wraps between words, and inside a run of letters too long
// for a line (60 letters without a blank), after any of its characters.
QString wrappable(const QString& text)
{
    constexpr qsizetype kLongRun = 24;
    QString out;
    qsizetype run = 0;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        run = one == QLatin1String(" ") ? 0 : run + 1;
        out += one.toHtmlEscaped();
        if (run >= kLongRun)
            out += QChar(0x200B);
    }
    return out;
}

QString coloured(const QString& html, const QColor& colour)
{
    return QStringLiteral("<span style=\"color:%1\">%2</span>").arg(colour.name(), html);
}

constexpr int kButtonsTop = 192;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QStyle::StandardPixmap picture,
                        int x, const QString& hint)
{
    auto* button = new QPushButton(parent->style()->standardIcon(picture), caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, kButtonsTop, 89, 27);
    button->setToolTip(hint);
    return button;
}

}  // namespace

TTitlePreview PreviewTitle(const QString& title, const QString& reading, bool kataToHira, bool zenToHan)
{
    TTitlePreview preview;
    std::string bytes;
    QString error;
    if (platform::ToCp932(title, bytes, error)) {
        // The whole title converted, and cut where the title record cuts it.
        const std::string codes = ConvTitle(bytes, 1 << 20, kataToHira, zenToHan);
        const std::string_view all(codes);
        const size_t kept = std::min(all.size(), size_t(TitleLimit + 1) * 2);
        preview.Title = DeviceCodesToText(all.substr(0, kept));
        preview.TitleCut = DeviceCodesToText(all.substr(kept));
    }
    if (platform::ToCp932(reading, bytes, error)) {
        const std::string sent = ConvTitleReader(bytes);
        const std::string_view all(sent);
        const size_t kept = std::min(all.size(), size_t(ReadingRecordMax));
        preview.Reading = ReadingBytesToText(all.substr(0, kept));
        preview.ReadingCut = ReadingBytesToText(all.substr(kept));
    }
    return preview;
}

TitleDialog::TitleDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TitleInput1"));
    setWindowTitle(QStringLiteral("手書きメモ－題名入力"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    // Taller than the classic 134 pixels: two lines show what the device gets.
    setFixedSize(299, kButtonsTop + 27 + 11);
    setFont(LayoutFont("ＭＳ ゴシック", 13));

    Note1 = new QLabel(this);
    Note1->setObjectName(QStringLiteral("Note1"));
    Note1->setGeometry(88, 170, 201, 16);
    SetTextColour(Note1, WarningColour(palette().color(QPalette::Window)));
    makeLabel(this, "Label3", QStringLiteral("本体の題名"), 10, 72);
    TitleView = makeView(this, "TitleView", 70,
                         QStringLiteral("本体に表示される題名です。灰色の部分は長すぎるため送られません"));
    makeLabel(this, "Label4", QStringLiteral("本体の読み"), 10, 122);
    ReadingView = makeView(this, "ReadingView", 120,
                           QStringLiteral("本体に送られる題名読みです (半角の英数字とカタカナ、漢字は送られません)"));

    Label1 = makeLabel(this, "Label1", QStringLiteral("題名"), 10, 15);
    Edit1 = makeEdit(this, "Edit1", 11, Note1);
    Label2 = makeLabel(this, "Label2", QStringLiteral("題名読み"), 10, 46);
    Edit2 = makeEdit(this, "Edit2", 42, Note1);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);

    BitBtn1 = makeButton(this, "BitBtn1", QStringLiteral("OK"), QStyle::SP_DialogOkButton, 10,
                         QStringLiteral("上記の題名で転送します"));
    BitBtn1->setDefault(true);
    BitBtn3 = makeButton(this, "BitBtn3", QStringLiteral("無視(&I)"), QStyle::SP_FileIcon, 105,
                         QStringLiteral("ファイル名を題名に使用します"));
    BitBtn2 = makeButton(this, "BitBtn2", QStringLiteral("ﾍﾙﾌﾟ(&H)"), QStyle::SP_DialogHelpButton, 200, QString());
    connect(BitBtn1, &QPushButton::clicked, this, &TitleDialog::okClicked);
    connect(BitBtn3, &QPushButton::clicked, this, &TitleDialog::cancelClicked);
    connect(BitBtn2, &QPushButton::clicked, this, &TitleDialog::helpClicked);

    connect(Edit1, &QLineEdit::textChanged, this, &TitleDialog::ShowWhatIsSent);
    connect(Edit2, &QLineEdit::textChanged, this, &TitleDialog::ShowWhatIsSent);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, BitBtn2);
    setTabOrder(BitBtn2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn3);
    FitToScreen(this);
}

void TitleDialog::FormShow()
{
    Title.clear();
    TitleReader.clear();
    Note1->clear();
    ShowWhatIsSent();  // the switches may have changed since the last showing
}

void TitleDialog::ShowWhatIsSent()
{
    const TTitlePreview p = PreviewTitle(Edit1->text(), Edit2->text(), CommLink.KataToHira, CommLink.ZenToHan);
    const QColor cut = palette().color(QPalette::Disabled, QPalette::WindowText);
    const QString none = coloured(QStringLiteral("(なし)"), cut);
    TitleView->setText(p.Title.isEmpty() && p.TitleCut.isEmpty()
                           ? none
                           : wrappable(p.Title) + (p.TitleCut.isEmpty() ? QString() : coloured(wrappable(p.TitleCut), cut)));
    if (p.Reading.isEmpty() && p.ReadingCut.isEmpty())
        ReadingView->setText(Edit2->text().isEmpty() ? none
                                                     : coloured(QStringLiteral("(送れる文字がありません)"),
                                                                QColor(WarningColour(palette().color(QPalette::Window)))));
    else
        ReadingView->setText(wrappable(p.Reading) + (p.ReadingCut.isEmpty() ? QString() : coloured(wrappable(p.ReadingCut), cut)));
}

void TitleDialog::okClicked()
{
    if (Edit2->text().isEmpty()) {
        ShowBox(BoxKind::Error, QStringLiteral("題名読みは省略できません"));
        Edit2->setFocus();
        return;
    }
    // Kanji are not sent in a reading: one of kanji alone would reach the device empty.
    const TTitlePreview p = PreviewTitle(Edit1->text(), Edit2->text(), CommLink.KataToHira, CommLink.ZenToHan);
    if (p.Reading.isEmpty()
        && ShowBox(BoxKind::Confirmation,
                   QStringLiteral("題名読み「%1」には本体に送れる文字がないため、読みは空のまま送られます。"
                                  "このまま送信しますか？")
                       .arg(Edit2->text()),
                   BoxButtons::OkCancel)
               != BoxAnswer::Ok) {
        Edit2->setFocus();
        return;
    }
    Title = Edit1->text();
    TitleReader = Edit2->text();
    done(QDialog::Accepted);
}

void TitleDialog::cancelClicked()
{
    Title.clear();
    TitleReader.clear();
    done(QDialog::Rejected);
}

void TitleDialog::helpClicked() { platform::WinHelp(platform::HELP_CONTEXT, 8000); }

void TitleDialog::reject() { cancelClicked(); }

void TitleDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())  // restored from an icon: not a new showing
        return;
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    FormShow();
    Edit1->setFocus();
}

void TitleDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // no Cancel: Escape does nothing
        return;
    }
    QDialog::keyPressEvent(event);
}
