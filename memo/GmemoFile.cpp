// The memo window's file commands: loading, saving as a monochrome BMP, printing, printer
// setup and the save prompt before closing.
#include "memo/Gmemo.h"

#include "app/Dialogs.h"
#include "app/MessageBox.h"
#include "memo/ImageArea.h"
#include "memo/Picture.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>

bool TGraphForm::SetImage(const QString& fileName)
{
    std::optional<QImage> picture = ReadPictureFile(fileName);
    if (!picture)
        return false;
    Image1->setPicture(*picture);
    Modified = false;
    ImageHeight = uint16_t(picture->height());
    ImageWidth = uint16_t(picture->width());
    FileName = fileName;
    return true;
}

bool TGraphForm::Save1Click()
{
    if (FileName.isEmpty())
        return SaveAs1Click();
    // Save writes BMP bytes; a picture opened from another kind of file (photo.png) is not
    // overwritten with them but saved under a BMP name the user confirms.
    if (!FileName.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
        return SaveAs1Click(BmpNameFor(FileName));
    WritePicture(FileName);
    return true;
}

QString TGraphForm::BmpNameFor(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString name = info.completeBaseName() + QStringLiteral(".BMP");
    return fileName.contains(QLatin1Char('/')) ? info.dir().filePath(name) : name;
}

void TGraphForm::WritePicture(const QString& fileName)
{
    ConvertToMonochrome();
    if (std::optional<QString> reason = WriteMonochromeBmp(Image1->picture(), fileName))
        throw CommandFailure(QStringLiteral("%1 に書き込めません\n%2").arg(fileName, *reason));
    Modified = false;
}

// A window that was never given a picture first gets what it shows: a white page the size of
// its image area, so that a saved file opens again like any other.
void TGraphForm::EnsurePicture()
{
    if (!Image1->picture().isNull())
        return;
    QImage blank(Image1->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    blank.fill(Qt::white);
    Image1->setPicture(blank);
}

void TGraphForm::ConvertToMonochrome()
{
    EnsurePicture();
    Image1->setPicture(ToMonochrome(Image1->picture()));
}

bool TGraphForm::SaveAs1Click(const QString& proposedName)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("手書きメモをセーブ");
    request.filter = QStringLiteral("BMP Files(*.BMP)|*.BMP|All Files(*.*)|*.*");
    request.fileName = proposedName.isNull() ? FileName : proposedName;
    request.overwritePrompt = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return false;
    // The window takes the new name only once the file is written: a failed save leaves the
    // caption, the status bar and the next Save on the name that holds the picture.
    WritePicture(*chosen);
    FileName = *chosen;
    setWindowTitle(QFileInfo(FileName).fileName());
    return true;
}

void TGraphForm::Print1Click()
{
    QPrinter& printer = SharedPrinter();
    if (!RunPrintDialog(this, printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw CommandFailure(QStringLiteral("印刷を開始できません"));
    // A monochrome memo must not come out with compression smudges, nor blurred edges.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
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

void TGraphForm::PrintSetup1Click()
{
    RunPrinterSetupDialog(this, SharedPrinter());
}

// はい saves (always through the dialog), いいえ closes without saving, ｷｬﾝｾﾙ (and Escape) keeps
// the window. A save dialog cancelled after はい keeps it too: nothing was saved.
bool TGraphForm::FormCloseQuery()
{
    if (!Modified)
        return true;
    const QString question = QFileInfo(FileName).fileName() + QStringLiteral(" が変更されています。保存しますか？");
    switch (ShowBox(BoxKind::Confirmation, question, BoxButtons::YesNoCancel)) {
    case BoxAnswer::Yes: {
        bool saved = false;
        RunGuarded([&] { saved = SaveAs1Click(); });
        return saved;  // a failure box has told why the window stays with its changes
    }
    case BoxAnswer::No: return true;
    default: return false;
    }
}
