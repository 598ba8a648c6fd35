// The memo window's clipboard commands: Copy puts the whole picture on the clipboard in
// monochrome, Cut copies it and then whitens it, Paste replaces it by the clipboard's picture.
#include "memo/Gmemo.h"

#include "app/MainForm.h"
#include "app/MessageBox.h"
#include "memo/ImageArea.h"
#include "memo/Picture.h"

#include <QClipboard>
#include <QGuiApplication>

void TGraphForm::Copy1Click()
{
    ConvertToMonochrome();
    QGuiApplication::clipboard()->setImage(Image1->picture());
    SetButtonStatus();
}

// Cut first puts the picture on the clipboard exactly as Copy does, so that a memo cut to be
// pasted elsewhere is not lost, then whitens it.
void TGraphForm::Cut1Click()
{
    Copy1Click();
    QImage white(Image1->picture().size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    // A monochrome picture stays monochrome.
    Image1->setPicture(Image1->picture().depth() == 1 ? ToMonochrome(white) : white);
}

void TGraphForm::Paste1Click()
{
    // Checked again: the clipboard may have changed since the paste controls were set.
    if (!TMainForm::ClipboardHasBitmap())
        return;
    const QImage picture = QGuiApplication::clipboard()->image();
    // A picture that cannot be read, or one too large to hold, leaves the window as it was.
    if (picture.isNull())
        throw CommandFailure(QStringLiteral("クリップボードの画像を読み込めません"));
    if (!PictureSizeAccepted(picture.width(), picture.height()))
        throw CommandFailure(QStringLiteral("クリップボードの画像が大きすぎます"));

    SetClientSize(picture.width(), picture.height());
    Image1->setPicture(picture);
    RealisePalette();
    FileName = QStringLiteral("NEW_%1.BMP").arg(MainForm ? MainForm->MemoCount() : 1);
    ImageHeight = uint16_t(picture.height());
    ImageWidth = uint16_t(picture.width());
    setWindowTitle(FileName);
    SetButtonStatus();
    Modified = true;
}
