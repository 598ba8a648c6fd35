#include "library/MemoNotesDialog.h"

#include "gui/MessageBox.h"
#include "platform/DurableFile.h"
#include "store/KanaFold.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// At most this many failures are named in one message.
constexpr int kFailuresNamed = 8;

void tellFailures(const QStringList& failures, const QString& headline)
{
    if (failures.isEmpty())
        return;
    QStringList shown = failures.mid(0, kFailuresNamed);
    if (failures.size() > kFailuresNamed)
        shown << QStringLiteral("ほか %1 件").arg(failures.size() - kFailuresNamed);
    ShowBox(BoxKind::Error, headline.arg(failures.size()) + QStringLiteral("\n\n") + shown.join(QLatin1Char('\n')));
}

}  // namespace

TMemoNotesDialog::TMemoNotesDialog(const QList<LibraryMemo>& memos, QWidget* parent)
    : QDialog(parent), memos_(memos)
{
    setObjectName(QStringLiteral("MemoNotes1"));
    setWindowTitle(memos.size() == 1 ? QStringLiteral("タグ・メモ書き - %1").arg(memos[0].title)
                                     : QStringLiteral("タグ・メモ書き - %1 件のメモ").arg(memos.size()));

    addEdit = new QLineEdit(this);
    addEdit->setObjectName(QStringLiteral("AddTags1"));
    addEdit->setPlaceholderText(QStringLiteral("空白か読点で区切って複数"));
    addEdit->setAccessibleName(QStringLiteral("付けるタグ"));

    // Every tag of the memos, in the order of the first memo that has it.
    tagList = new QListWidget(this);
    tagList->setObjectName(QStringLiteral("Tags1"));
    tagList->setAccessibleName(QStringLiteral("付いているタグ"));
    QStringList keys;
    QList<QPair<QString, int>> tags;  // as written first, how many memos have it
    for (const LibraryMemo& m : memos)
        for (const QString& tag : m.tags) {
            const QString key = SearchKey(tag);
            if (const qsizetype at = keys.indexOf(key); at >= 0) {
                ++tags[at].second;
            } else {
                keys << key;
                tags.append({tag, 1});
            }
        }
    for (const auto& [tag, count] : tags) {
        auto* item = new QListWidgetItem(tag, tagList);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                       (count < memos.size() ? Qt::ItemIsUserTristate : Qt::NoItemFlags));
        item->setCheckState(count == memos.size() ? Qt::Checked : Qt::PartiallyChecked);
        if (count < memos.size())
            item->setToolTip(QStringLiteral("%1 件中 %2 件のメモに付いています").arg(memos.size()).arg(count));
    }
    tagList->setMaximumHeight(tagList->fontMetrics().height() * 6);

    noteEdit = new QPlainTextEdit(this);
    noteEdit->setObjectName(QStringLiteral("Note1"));
    noteEdit->setAccessibleName(QStringLiteral("メモ書き"));
    noteEdit->setTabChangesFocus(true);
    bool sameNote = true;
    for (const LibraryMemo& m : memos)
        sameNote = sameNote && m.note == memos.value(0).note;
    if (sameNote) {
        noteEdit->setPlainText(memos.value(0).note);
    } else {
        noteEdit->setPlaceholderText(QStringLiteral("メモごとに異なります。書くとすべてのメモがこのメモ書きになります"));
    }
    noteEdit->document()->setModified(false);

    starBox = new QCheckBox(QStringLiteral("スター(&S)"), this);
    starBox->setObjectName(QStringLiteral("Star1"));
    const qsizetype starred = std::count_if(memos.cbegin(), memos.cend(), [](const LibraryMemo& m) { return m.starred; });
    if (starred > 0 && starred < memos.size()) {
        starBox->setTristate(true);
        starBox->setCheckState(Qt::PartiallyChecked);
    } else {
        starBox->setChecked(starred > 0);
    }

    auto* form = new QFormLayout(this);
    auto addRow = [&](const QString& label, QWidget* field) {
        auto* l = new QLabel(label, this);
        l->setBuddy(field);
        form->addRow(l, field);
    };
    addRow(QStringLiteral("付けるタグ(&A):"), addEdit);
    addRow(QStringLiteral("付いているタグ(&T):"), tagList);
    addRow(QStringLiteral("メモ書き(&N):"), noteEdit);
    form->addRow(QString(), starBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(420, sizeHint().height());
}

MemoNotesChange TMemoNotesDialog::change() const
{
    static const QRegularExpression separators(QStringLiteral("[\\s,、，]+"));
    MemoNotesChange change;
    change.addTags = addEdit->text().split(separators, Qt::SkipEmptyParts);
    for (int i = 0; i < tagList->count(); ++i) {
        const QListWidgetItem* item = tagList->item(i);
        if (item->checkState() == Qt::Unchecked)
            change.removeTags << item->text();
        else if (item->checkState() == Qt::Checked && (item->flags() & Qt::ItemIsUserTristate))
            change.addTags << item->text();  // was on some memos only
    }
    if (noteEdit->document()->isModified())
        change.note = noteEdit->toPlainText();
    if (starBox->checkState() != Qt::PartiallyChecked)
        change.starred = starBox->isChecked();
    return change;
}

NotesUndo ChangeLibraryNotes(QWidget*, const QList<LibraryMemo>& memos, const MemoNotesChange& change)
{
    NotesUndo undo;
    QStringList failures;
    // The folder is flushed once for all the memos, not once a memo.
    platform::FolderFlushes flushes;
    for (const LibraryMemo& memo : memos) {
        MemoNotes before;
        if (const auto failure = ChangeMemoNotes(memo.path, change, &before, &flushes)) {
            failures << QStringLiteral("%1: %2").arg(QFileInfo(memo.path).fileName(), failure->text);
            continue;
        }
        undo.before.append({memo.path, before});
    }
    if (const auto failure = flushes.Flush())
        failures << failure->text();
    tellFailures(failures, QStringLiteral("%1 件のメモのタグ・メモ書き・スターを変更できません"));
    return undo;
}

void UndoLibraryNotes(QWidget*, const NotesUndo& undo)
{
    QStringList failures;
    platform::FolderFlushes flushes;
    for (const auto& [path, notes] : undo.before)
        if (const auto failure = WriteMemoNotes(path, notes, nullptr, &flushes))
            failures << QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), failure->text);
    if (const auto failure = flushes.Flush())
        failures << failure->text();
    tellFailures(failures, QStringLiteral("%1 件のメモのタグ・メモ書き・スターを元に戻せません"));
}
