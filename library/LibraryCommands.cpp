// Open, export, trash and rename of library memos (send and print have files of their own).
#include "library/LibraryCommands.h"

#include "gui/ExportCommand.h"
#include "gui/Fonts.h"
#include "gui/MessageBox.h"
#include "store/MemoRename.h"
#include "store/SyncedFolder.h"
#include "platform/FileNames.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// More memo windows than this at once only when the user agreed.
constexpr int kOpenWithoutAsking = 10;

}  // namespace

void OpenLibraryMemos(const QList<LibraryMemo>& memos, const MemoOpener& open)
{
    if (memos.size() > kOpenWithoutAsking &&
        ShowBox(BoxKind::Confirmation, QStringLiteral("%1 件のメモを開きますか？").arg(memos.size()),
                BoxButtons::OkCancel) != BoxAnswer::Ok)
        return;
    for (const LibraryMemo& memo : memos)
        open(memo);
}

void ExportLibraryMemos(QWidget* parent, const QList<LibraryMemo>& memos)
{
    QList<TExportMemo> exported;
    for (const LibraryMemo& memo : memos) {
        QString why;
        std::optional<TExportMemo> loaded = LoadExportMemo(memo.path, &why);
        if (!loaded) {
            ShowBox(BoxKind::Error, QStringLiteral("%1 を画像として読めません\n%2").arg(memo.path, why));
            return;
        }
        exported.push_back(std::move(*loaded));
    }
    if (std::optional<QString> failure = ExportMemosAsked(parent, exported))
        ShowBox(BoxKind::Error, *failure);
}

QStringList TrashLibraryMemos(const QList<LibraryMemo>& memos)
{
    if (memos.isEmpty())
        return {};
    const QString question = memos.size() == 1
                                 ? QStringLiteral("%1 をごみ箱に移動しますか？").arg(QFileInfo(memos[0].path).fileName())
                                 : QStringLiteral("%1 件のメモをごみ箱に移動しますか？").arg(memos.size());
    if (ShowBox(BoxKind::Confirmation, question, BoxButtons::OkCancel) != BoxAnswer::Ok)
        return {};
    // Qt makes the home trash inside the data folder but not the folder itself; without it the
    // files would land in "files" and "info" of the working folder, where no one finds them.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QStringList failed;
    QStringList moved;
    for (const LibraryMemo& memo : memos) {
        // Only ever into the trash: a file the trash cannot take stays where it is.
        if (platform::MoveToTrash(memo.path))
            failed << QFileInfo(memo.path).fileName();
        else
            moved << memo.path;
    }
    if (!failed.isEmpty())
        ShowBox(BoxKind::Error, QStringLiteral("ごみ箱に移動できませんでした (ファイルはそのままです):\n") +
                                    failed.mid(0, 20).join(QLatin1Char('\n')) +
                                    (failed.size() > 20 ? QStringLiteral("\n…") : QString()));
    return moved;
}

QString KeepLibraryVersion(const LibraryMemo& memo, const QStringList& versions, QStringList* trashed)
{
    const QFileInfo info(memo.path);
    const QString keep = info.fileName();
    QStringList others = versions;
    others.removeAll(keep);
    if (others.isEmpty())
        return {};
    const QString original = ConflictCopyOf(keep).value_or(keep);
    QString question = QStringLiteral("%1 を残し、ほかの %2 件の版をごみ箱に移動しますか？\n\n%3")
                           .arg(keep)
                           .arg(others.size())
                           .arg(others.join(QLatin1Char('\n')));
    if (original != keep)
        question += QStringLiteral("\n\n残したファイルの名前は %1 になります。").arg(original);
    if (ShowBox(BoxKind::Confirmation, question, BoxButtons::OkCancel) != BoxAnswer::Ok)
        return {};
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));  // as for 削除
    QString kept;
    QStringList moved;
    const std::optional<QString> failure = KeepConflictVersion(info.absolutePath(), keep, others, &kept, &moved);
    if (trashed)
        for (const QString& name : moved)
            *trashed << info.dir().filePath(name);
    if (failure)
        ShowBox(BoxKind::Error, *failure);
    return kept;
}

QString RenameLibraryMemo(QWidget* parent, const LibraryMemo& memo)
{
    const QFileInfo info(memo.path);
    const bool png = info.suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0;

    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RenameMemo1"));
    dialog.setWindowTitle(QStringLiteral("名前の変更"));
    auto* title = new QLineEdit(memo.titled ? memo.title : info.completeBaseName(), &dialog);
    title->setObjectName(QStringLiteral("Title1"));
    auto* reading = new QLineEdit(memo.reading, &dialog);
    reading->setObjectName(QStringLiteral("Reading1"));
    reading->setEnabled(png);  // a BMP holds no text: its title is its file name
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("タイトル(&T):"), title);
    form->addRow(QStringLiteral("読み(&R):"), reading);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    title->selectAll();
    dialog.resize(360, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (!png && title->text().trimmed().isEmpty())
        return {};  // a file needs a name
    QString renamed;
    if (const std::optional<QString> failure =
            RenameMemo(info.absolutePath(), info.fileName(), title->text(), reading->text(), &renamed)) {
        ShowBox(BoxKind::Error, QStringLiteral("%1 の名前を変更できません\n%2").arg(info.fileName(), *failure));
        return {};
    }
    return renamed;
}
