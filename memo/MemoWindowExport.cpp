// The memo window's export (ファイル → 書き出し): its picture as PNG, SVG, PDF or a Markdown
// note, into a file or folder the user names (gui/ExportCommand.h).
#include "memo/MemoWindow.h"

#include "gui/ExportCommand.h"
#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "store/MemoFile.h"
#include "store/MemoNotes.h"

#include <QFileInfo>

TExportMemo MemoWindow::exportMemo() const
{
    TExportMemo memo;
    memo.Picture = Image1->picture();
    const QString name = FileName.isEmpty() ? captionName_ : QFileInfo(FileName).fileName();
    memo.Name = QFileInfo(name).completeBaseName();
    memo.Title = deviceTitle_.isEmpty() ? memo.Name : deviceTitle_;
    if (!FileName.isEmpty()) {
        if (const std::optional<TMemoMeta> meta = ReadMemoMeta(FileName); meta && meta->Carried) {
            memo.Arrived = meta->Arrived;
            memo.Reading = meta->Reading;
            if (deviceTitle_.isEmpty() && !meta->Title.isEmpty())
                memo.Title = meta->Title;  // as the library's export names it
        }
        if (const std::optional<MemoNotes> notes = ReadMemoNotesFile(FileName)) {
            memo.Tags = notes->tags;
            memo.Note = notes->note;
            memo.Starred = notes->starred;
        }
    }
    return memo;
}

void MemoWindow::exportPicture()
{
    if (Image1->picture().isNull()) {
        ShowBox(BoxKind::Warning, QStringLiteral("書き出す画像がありません"));
        return;
    }
    if (std::optional<QString> failure = ExportMemosAsked(this, {exportMemo()}))
        throw CommandFailure(*failure);
}
