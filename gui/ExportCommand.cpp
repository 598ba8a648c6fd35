#include "gui/ExportCommand.h"

#include "gui/Dialogs.h"
#include "gui/ExportDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

TExportOptions& lastOptions()
{
    static TExportOptions options;
    return options;
}

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

std::optional<QString> ExportMemosAsked(QWidget* parent, const QList<TExportMemo>& memos)
{
    if (memos.isEmpty())
        return std::nullopt;
    TExportOptions options = lastOptions();
    if (!RunExportDialog(parent, options))
        return std::nullopt;
    lastOptions() = options;
    const QString suffix = ExportSuffix(options.Format);
    const bool intoFolder = memos.size() > 1 && options.Format != ExportFormat::Pdf;
    FileDialogRequest request;
    request.title = QStringLiteral("書き出し");
    if (intoFolder) {
        request.mode = FileDialogRequest::Mode::Folder;
        request.fileName = lastFolder();
    } else {
        request.mode = FileDialogRequest::Mode::Save;
        request.filter = filterFor(options.Format);
        const QString name = memos.size() == 1 ? memos.front().Name : QStringLiteral("メモ");
        request.fileName = QDir(lastFolder()).filePath(name + QLatin1Char('.') + suffix);
        request.overwritePrompt = true;
        request.pathMustExist = true;
    }
    std::optional<QString> chosen = RunFileDialog(parent, request);
    if (!chosen)
        return std::nullopt;
    QString out = *chosen;
    if (intoFolder)
        out += QLatin1Char('/');  // a folder, even when it does not exist yet
    else if (QFileInfo(out).suffix().isEmpty())
        out += QLatin1Char('.') + suffix;
    QString error;
    if (!ExportMemos(memos, options, out, &error))
        return error;
    lastFolder() = intoFolder ? QDir::cleanPath(*chosen) : QFileInfo(out).absolutePath();
    return std::nullopt;
}
