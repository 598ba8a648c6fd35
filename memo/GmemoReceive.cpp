// Drawing a memo that came from the device.
#include "memo/Gmemo.h"

#include "app/MainForm.h"
#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QCoreApplication>

void TGraphForm::ShowReceivedMemo(const TMemoPicture& picture)
{
    const int n = MainForm ? MainForm->MemoCount() : 1;
    FileName = QStringLiteral("NEW_%1.BMP").arg(n);
    SetCaption(FileName);
    ChooseZoomFor(QSize(picture.ImageWidth, picture.ImageHeight));
    SetClientSize(picture.ImageWidth * Zoom(), picture.ImageHeight * Zoom());
    ImageWidth = picture.ImageWidth;
    ImageHeight = picture.ImageHeight;
    Image1->setPicture(picture.Image);
    SetButtonStatus();
    QCoreApplication::processEvents();  // let the window paint before the next memo
    Modified = true;
}
