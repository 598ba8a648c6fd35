#include "gui/ExportCommand.h"

#include "gui/Dialogs.h"
#include "gui/ExportDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>
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

// A short export comes and goes without a window flashing up.
int& progressDelay()
{
    static int ms = 500;
    return ms;
}

QString filterFor(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Png: return SaveFilter(QStringLiteral("PNG"));
    case ExportFormat::Svg: return SaveFilter(QStringLiteral("SVG"));
    case ExportFormat::Pdf: return SaveFilter(QStringLiteral("PDF"));
    case ExportFormat::Markdown: return {};  // a folder is chosen
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
    const bool intoFolder = options.Format == ExportFormat::Markdown ||
                            (memos.size() > 1 && options.Format != ExportFormat::Pdf);
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
    QProgressDialog shown(parent);
    shown.setObjectName(QStringLiteral("ExportProgress1"));
    shown.setWindowTitle(QStringLiteral("書き出し"));
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), &shown);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    shown.setCancelButton(cancel);
    shown.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    shown.setMinimumDuration(progressDelay());
    shown.setAutoReset(false);
    shown.setRange(0, int(memos.size()));
    shown.setLabelText(QStringLiteral("書き出しています…"));
    shown.setValue(0);  // the time until it shows starts now
    const ExportProgress progress = [&shown](ExportStep, qsizetype done, qsizetype total) {
        shown.setLabelText(QStringLiteral("書き出しています… %1 / %2").arg(done).arg(total));
        shown.setValue(int(done));  // lets the window, and ｷｬﾝｾﾙ, be seen to
        return !shown.wasCanceled();
    };
    QString error;
    const bool written = ExportMemos(memos, options, out, &error, nullptr, nullptr, progress);
    shown.close();
    if (!written)
        return error.isEmpty() ? std::nullopt : std::optional<QString>(error);  // empty: cancelled
    lastFolder() = intoFolder ? QDir::cleanPath(*chosen) : QFileInfo(out).absolutePath();
    return std::nullopt;
}

void SetExportProgressDelay(int ms)
{
    progressDelay() = ms;
}
