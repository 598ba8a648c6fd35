// The frame's question about changed memos when the program ends.
#include "app/MainForm.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "memo/Gmemo.h"

#include <QDir>

namespace {

// The box lists this many memos at most, so that it fits a small screen.
constexpr int kListed = 12;

QString changedMemosQuestion(const QList<TGraphForm*>& memos)
{
    QStringList lines;
    for (const TGraphForm* memo : memos.mid(0, kListed))
        lines << memo->MemoLabel();
    if (memos.size() > kListed)
        lines << QStringLiteral("ほか %1 件").arg(memos.size() - kListed);
    return QStringLiteral("次の %1 件のメモが変更されています。保存しますか？\n\n%2")
        .arg(memos.size())
        .arg(lines.join(QLatin1Char('\n')));
}

}  // namespace

bool TMainForm::MayCloseMemos()
{
    QList<TGraphForm*> changed;
    for (TGraphForm* memo : MemoWindows())
        if (memo->Modified)
            changed << memo;
    if (changed.size() <= 1)
        return changed.isEmpty() || changed.front()->FormCloseQuery();
    switch (ShowBox(BoxKind::Confirmation, changedMemosQuestion(changed), BoxButtons::SaveAllNoneCancel)) {
    case BoxAnswer::Yes: {
        bool saved = false;
        RunGuarded([&] { saved = SaveChangedMemos(changed); });
        return saved;  // a failure box has told why the program stays
    }
    case BoxAnswer::No: return true;
    default: return false;  // ｷｬﾝｾﾙ, Escape, the close box
    }
}

// One folder for all of them, each under the name Save would give it. A memo saved before a
// failure keeps its new name; the others stay changed.
bool TMainForm::SaveChangedMemos(const QList<TGraphForm*>& memos)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Folder;
    request.title = QStringLiteral("変更されたメモの保存先");
    request.fileName = QDir::currentPath();
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return false;
    for (TGraphForm* memo : memos)
        memo->SaveIntoFolder(*chosen);
    return true;
}
