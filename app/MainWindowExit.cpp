// The frame's question about changed memos when the program ends.
#include "app/MainWindow.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "memo/MemoWindow.h"

#include <QDir>

namespace {

// The box lists this many memos at most, so that it fits a small screen.
constexpr int kListed = 12;

QString changedMemosQuestion(const QList<MemoWindow*>& memos)
{
    QStringList lines;
    for (const MemoWindow* memo : memos.mid(0, kListed))
        lines << memo->memoLabel();
    if (memos.size() > kListed)
        lines << QStringLiteral("ほか %1 件").arg(memos.size() - kListed);
    return QStringLiteral("次の %1 件のメモが変更されています。保存しますか？\n\n%2")
        .arg(memos.size())
        .arg(lines.join(QLatin1Char('\n')));
}

}  // namespace

bool MainWindow::mayCloseMemos()
{
    QList<MemoWindow*> changed;
    for (MemoWindow* memo : memoWindows())
        if (memo->Modified)
            changed << memo;
    if (changed.size() <= 1)
        return changed.isEmpty() || changed.front()->mayClose();
    switch (ShowBox(BoxKind::Confirmation, changedMemosQuestion(changed), BoxButtons::SaveAllNoneCancel)) {
    case BoxAnswer::Yes: {
        bool saved = false;
        RunGuarded([&] { saved = saveChangedMemos(changed); });
        return saved;  // a failure box has told why the program stays
    }
    case BoxAnswer::No: return true;
    default: return false;  // ｷｬﾝｾﾙ, Escape, the close box
    }
}

// One folder for all of them, each under the name Save would give it. A memo saved before a
// failure keeps its new name; the others stay changed.
bool MainWindow::saveChangedMemos(const QList<MemoWindow*>& memos)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Folder;
    request.title = QStringLiteral("変更されたメモの保存先");
    request.fileName = QDir::currentPath();
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return false;
    for (MemoWindow* memo : memos)
        memo->saveIntoFolder(*chosen);
    return true;
}
