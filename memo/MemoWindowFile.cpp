// The memo window's file commands: loading, saving as a monochrome BMP, printing, printer
// setup and the save prompt before closing.
#include "memo/MemoWindow.h"

#include "gui/Dialogs.h"
#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "picture/Picture.h"
#include "picture/PictureRows.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

bool MemoWindow::loadPicture(const QString& fileName)
{
    std::optional<QImage> picture = ReadPictureFile(fileName);
    QSize full = picture ? picture->size() : QSize();
    if (!picture)
        picture = ReadReducedPicture(fileName, &full);
    if (!picture)
        return false;
    chooseZoomFor(picture->size());
    Image1->setPicture(*picture);
    Modified = false;
    ImageHeight = uint16_t(picture->height());
    ImageWidth = uint16_t(picture->width());
    FileName = fileName;
    setDeviceTitle(QString());  // the window holds a file now, no longer the device's memo
    pictureFile_ = fileName;
    pictureFileKey_ = Image1->picture().cacheKey();
    pictureFileSize_ = full;
    return true;
}

// A picture's cache key changes with every change of its pixels (Cut, Paste, Load, Undo).
QString MemoWindow::pictureFile() const
{
    return Image1->picture().cacheKey() == pictureFileKey_ ? pictureFile_ : QString();
}

bool MemoWindow::save()
{
    if (FileName.isEmpty())
        return saveAs();
    const QString name = saveName();
    if (name != FileName)
        return saveAs(name);
    writePicture(FileName);
    return true;
}

// Save writes a black and white BMP. A picture opened from another kind of file (photo.png),
// or one with grey or colour that the writing would turn black and white, is not written over
// its file but saved under a BMP name the user confirms.
QString MemoWindow::saveName() const
{
    const bool converted = !IsBlackAndWhite(Image1->picture());
    if (converted || !FileName.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
        return bmpNameFor(FileName, converted);
    return FileName;
}

QString MemoWindow::bmpNameFor(const QString& fileName, bool converted)
{
    const QFileInfo info(fileName);
    const QString name = info.completeBaseName() + (converted ? QStringLiteral("_QM.BMP") : QStringLiteral(".BMP"));
    return fileName.contains(QLatin1Char('/')) ? info.dir().filePath(name) : name;
}

void MemoWindow::writePicture(const QString& fileName)
{
    convertToMonochrome();
    if (std::optional<QString> reason = WriteMonochromeBmp(Image1->picture(), fileName))
        throw CommandFailure(QStringLiteral("%1 に書き込めません\n%2").arg(fileName, *reason));
    Modified = false;
}

// A window that was never given a picture first gets what it shows: a white page the size of
// its image area, so that a saved file opens again like any other.
void MemoWindow::ensurePicture()
{
    if (!Image1->picture().isNull())
        return;
    QImage blank((Image1->size() / Image1->zoom()).expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    blank.fill(Qt::white);
    Image1->setPicture(blank);
}

void MemoWindow::convertToMonochrome()
{
    ensurePicture();
    Image1->setPicture(ToMonochrome(Image1->picture()));
}

bool MemoWindow::saveAs(const QString& proposedName)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("手書きメモをセーブ");
    request.filter = SaveFilter(QStringLiteral("BMP"));
    request.fileName = proposedName.isNull() ? FileName : proposedName;
    request.overwritePrompt = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return false;
    saveUnder(*chosen);
    return true;
}

// The window takes the new name only once the file is written: a failed save leaves the
// caption, the status bar and the next Save on the name that holds the picture.
void MemoWindow::saveUnder(const QString& path)
{
    writePicture(path);
    FileName = path;
    setCaption(QFileInfo(FileName).fileName());
    publishState();
}

void MemoWindow::fileRenamed(const QString& path)
{
    if (pictureFile_ == FileName)
        pictureFile_ = path;
    FileName = path;
    setCaption(QFileInfo(FileName).fileName());
    publishState();
}

void MemoWindow::fileRemoved()
{
    pictureFile_.clear();
    FileName = newName();
    setCaption(FileName);
    Modified = true;
    publishState();
}

void MemoWindow::saveIntoFolder(const QString& folder)
{
    const QFileInfo name(saveName());
    const auto nameFor = [&name](int n) {
        return n == 1 ? name.fileName() : QStringLiteral("%1-%2.%3").arg(name.completeBaseName()).arg(n).arg(name.suffix());
    };
    convertToMonochrome();
    QString path;
    if (std::optional<QString> reason = WriteNewMonochromeBmp(Image1->picture(), folder, nameFor, path))
        throw CommandFailure(QStringLiteral("%1 に書き込めません\n%2").arg(QDir(folder).filePath(name.fileName()), *reason));
    Modified = false;
    FileName = path;
    setCaption(QFileInfo(FileName).fileName());
    publishState();
}

void MemoWindow::print()
{
    QPainter painter;
    if (!BeginMemoPrint(this, painter))
        return;
    // The painter's origin is the printable area's top-left and its unit the printer dot. One
    // dot per pixel would shrink a memo to a dot on a 1200-dpi printer, so the picture comes
    // out at the size it has on screen: one image pixel per 1/96 inch.
    const QImage& picture = Image1->picture();
    if (!picture.isNull()) {
        const qreal sx = painter.device()->logicalDpiX() / 96.0;
        const qreal sy = painter.device()->logicalDpiY() / 96.0;
        painter.drawImage(QRectF(0, 0, picture.width() * sx, picture.height() * sy), picture);
    }
    if (!painter.end())
        throw CommandFailure(QStringLiteral("印刷を終了できません"));
}

void MemoWindow::printerSetup()
{
    RunPrinterSetupDialog(this, SharedPrinter());
}

// はい saves (always through the dialog), いいえ closes without saving, ｷｬﾝｾﾙ (and Escape) keeps
// the window. A save dialog cancelled after はい keeps it too: nothing was saved.
bool MemoWindow::mayClose()
{
    if (!Modified)
        return true;
    const QString question = memoLabel() + QStringLiteral(" が変更されています。保存しますか？");
    switch (ShowBox(BoxKind::Confirmation, question, BoxButtons::YesNoCancel)) {
    case BoxAnswer::Yes: {
        bool saved = false;
        RunGuarded([&] { saved = saveAs(); });
        return saved;  // a failure box has told why the window stays with its changes
    }
    case BoxAnswer::No: return true;
    default: return false;
    }
}
