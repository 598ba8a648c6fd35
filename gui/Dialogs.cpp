#include "gui/Dialogs.h"

#include "gui/MessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStringList>

namespace {

std::function<std::optional<QString>(const FileDialogRequest&)>& fileAnswerer()
{
    static std::function<std::optional<QString>(const FileDialogRequest&)> instance;
    return instance;
}

std::function<bool(QPrinter&)>& printAnswerer()
{
    static std::function<bool(QPrinter&)> instance;
    return instance;
}

std::function<bool(QPrinter&)>& setupAnswerer()
{
    static std::function<bool(QPrinter&)> instance;
    return instance;
}

QString bothCases(const QString& patterns)
{
    QStringList out;
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String("*.*")) {
            out << QStringLiteral("*");
            continue;
        }
        out << p;
        if (p.toLower() != p)
            out << p.toLower();
        else if (p.toUpper() != p)
            out << p.toUpper();
    }
    return out.join(QLatin1Char(' '));
}

}  // namespace

QString QtFilterFrom(const QString& classicFilter)
{
    const QStringList parts = classicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        // The name usually shows its pattern in brackets; Qt reads the patterns from there.
        const int open = name.indexOf(QLatin1Char('('));
        if (open >= 0)
            name = name.left(open).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(name, bothCases(parts[i + 1]));
    }
    return filters.join(QStringLiteral(";;"));
}

QString PictureOpenFilter()
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString pattern = QStringLiteral("*.") + QString::fromLatin1(format).toLower();
        if (!patterns.contains(pattern))
            patterns << pattern;
    }
    // A JPEG is often named .jpe; Qt knows it as jpeg and jpg only.
    if (patterns.contains(QStringLiteral("*.jpeg")) && !patterns.contains(QStringLiteral("*.jpe")))
        patterns << QStringLiteral("*.jpe");
    const QString all = patterns.join(QLatin1Char(';'));
    return QStringLiteral("画像ファイル|%1|%2").arg(all, SaveFilter(QStringLiteral("BMP")));
}

QString SaveFilter(const QString& kind)
{
    return QStringLiteral("%1 ファイル (*.%1)|*.%1|すべてのファイル (*.*)|*.*").arg(kind);
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (fileAnswerer())
        return fileAnswerer()(request);
    QFileDialog dialog(parent, request.title);
    dialog.setObjectName(request.mode == FileDialogRequest::Mode::Open ? QStringLiteral("OpenDialog1")
                                                                       : QStringLiteral("SaveDialog1"));
    if (request.mode == FileDialogRequest::Mode::Folder) {
        dialog.setObjectName(QStringLiteral("FolderDialog"));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setDirectory(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
    dialog.setNameFilter(QtFilterFrom(request.filter));
    if (request.mode == FileDialogRequest::Mode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    }
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString chosen = dialog.selectedFiles().constFirst();
        // A name typed with a folder that does not exist is refused, and the dialog asks again.
        if (!request.pathMustExist || QFileInfo(chosen).absoluteDir().exists())
            return chosen;
        ShowBox(BoxKind::Warning, QStringLiteral("%1\nフォルダが存在しません。").arg(QFileInfo(chosen).absolutePath()));
        dialog.selectFile(QFileInfo(chosen).fileName());
    }
}

bool RunPrintDialog(QWidget* parent, QPrinter& printer)
{
    if (printAnswerer())
        return printAnswerer()(printer);
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    return dialog.exec() == QDialog::Accepted;
}

bool RunPrinterSetupDialog(QWidget* parent, QPrinter& printer)
{
    if (setupAnswerer())
        return setupAnswerer()(printer);
    QPageSetupDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrinterSetupDialog1"));
    return dialog.exec() == QDialog::Accepted;
}

QPrinter& SharedPrinter()
{
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

void SetFileDialogAnswerer(std::function<std::optional<QString>(const FileDialogRequest&)> a)
{
    fileAnswerer() = std::move(a);
}

void SetPrintDialogAnswerer(std::function<bool(QPrinter&)> a)
{
    printAnswerer() = std::move(a);
}

void SetPrinterSetupAnswerer(std::function<bool(QPrinter&)> a)
{
    setupAnswerer() = std::move(a);
}

bool BeginMemoPrint(QWidget* parent, QPainter& painter)
{
    QPrinter& printer = SharedPrinter();
    if (!RunPrintDialog(parent, printer))
        return false;
    if (!painter.begin(&printer))
        throw CommandFailure(QStringLiteral("印刷を開始できません"));
    // A monochrome memo must not come out with compression smudges, nor blurred edges.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    return true;
}
