// The memo window's file commands: loading, saving as a monochrome BMP, printing, printer
// setup and the save prompt before closing.
#include "memo/Gmemo.h"

#include "app/Dialogs.h"
#include "app/MessageBox.h"
#include "memo/ImageArea.h"
#include "memo/Picture.h"

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

void TGraphForm::Save1Click()
{
    if (FileName.isEmpty()) {
        SaveAs1Click();
        return;
    }
    ConvertToMonochrome();
    if (std::optional<QString> reason = WriteMonochromeBmp(Image1->picture(), FileName))
        throw CommandFailure(QStringLiteral("%1 に書き込めません\n%2").arg(FileName, *reason));
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

void TGraphForm::SaveAs1Click()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("手書きメモをセーブ");
    request.filter = QStringLiteral("BMP Files(*.BMP)|*.BMP|All Files(*.*)|*.*");
    request.fileName = FileName;
    request.overwritePrompt = true;
    request.pathMustExist = true;
    const std::optional<QString> chosen = RunFileDialog(this, request);
    if (!chosen)
        return;
    FileName = *chosen;
    setWindowTitle(QFileInfo(FileName).fileName());
    Save1Click();
}

void TGraphForm::Print1Click()
{
    QPrinter& printer = SharedPrinter();
    if (!RunPrintDialog(this, printer))
        return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw CommandFailure(QStringLiteral("印刷を開始できません"));
    // A monochrome memo must not come out with compression smudges.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    // The painter's origin is the printable area's top-left and its unit the printer dot,
    // so the picture comes out at its natural size in dots.
    if (!Image1->picture().isNull())
        painter.drawImage(QPoint(0, 0), Image1->picture());
    if (!painter.end())
        throw CommandFailure(QStringLiteral("印刷を終了できません"));
}

void TGraphForm::PrintSetup1Click()
{
    RunPrinterSetupDialog(this, SharedPrinter());
}

bool TGraphForm::FormCloseQuery()
{
    if (!Modified)
        return true;
    const QString question = QFileInfo(FileName).fileName() + QStringLiteral(" が変更されています。保存しますか？");
    if (ShowBox(BoxKind::Confirmation, question, BoxButtons::OkCancel) == BoxAnswer::Ok) {
        bool saved = false;
        RunGuarded([&] {
            SaveAs1Click();
            saved = true;
        });
        if (!saved)
            return false;  // the failure box has told why; the window stays with its changes
    }
    Modified = false;
    return true;
}

