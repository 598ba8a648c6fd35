// The memo window's export (ファイル → 書き出し): its picture as PNG, SVG or PDF, into a file
// the user names.
#include "memo/Gmemo.h"

#include "app/Dialogs.h"
#include "app/ExportDlg.h"
#include "app/MessageBox.h"
#include "memo/ImageArea.h"
#include "store/MemoExport.h"
#include "store/MemoFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// What the last export of this run chose: the next one starts from it.
TExportOptions& lastOptions()
{
    static TExportOptions options;
    return options;
}

// Exports go next to the last one; the first into the user's pictures (never into the
// library folder, where a new file would be taken for a new memo).
QString& lastFolder()
{
    static QString folder = [] {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    }();
    return folder;
}

QString filterFor(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Png: return QStringLiteral("PNG Files(*.PNG)|*.PNG|All Files(*.*)|*.*");
    case ExportFormat::Svg: return QStringLiteral("SVG Files(*.SVG)|*.SVG|All Files(*.*)|*.*");
    case ExportFormat::Pdf: return QStringLiteral("PDF Files(*.PDF)|*.PDF|All Files(*.*)|*.*");
    }
    return {};
}

}  // namespace

TExportMemo TGraphForm::ExportMemo() const
{
    TExportMemo memo;
    memo.Picture = Image1->picture();
    const QString name = FileName.isEmpty() ? captionName_ : QFileInfo(FileName).fileName();
    memo.Name = QFileInfo(name).completeBaseName();
    memo.Title = deviceTitle_.isEmpty() ? memo.Name : deviceTitle_;
    if (!FileName.isEmpty())
        if (const std::optional<TMemoMeta> meta = ReadMemoMeta(FileName); meta && meta->Carried)
            memo.Arrived = meta->Arrived;
    return memo;
}

void TGraphForm::Export1Click()
{
    if (Image1->picture().isNull()) {
        ShowBox(BoxKind::Warning, QStringLiteral("書き出す画像がありません"));
        return;
    }
    TExportOptions options = lastOptions();
    if (!RunExportDialog(this, options))
        return;
    lastOptions() = options;
    const TExportMemo memo = ExportMemo();
    const QString suffix = ExportSuffix(options.Format);
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("書き出し");
    request.filter = filterFor(options.Format);
    request.fileName = QDir(lastFolder()).filePath(memo.Name + QLatin1Char('.') + suffix);
    request.overwritePrompt = true;
    request.pathMustExist = true;
    std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return;
    if (QFileInfo(*chosen).suffix().isEmpty())
        *chosen += QLatin1Char('.') + suffix;
    QString error;
    if (!ExportMemos(QList<TExportMemo>{memo}, options, *chosen, &error))
        throw CommandFailure(error);
    lastFolder() = QFileInfo(*chosen).absolutePath();
}
