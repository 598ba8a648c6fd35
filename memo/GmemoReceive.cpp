// Drawing a memo that came from the device.
#include "memo/Gmemo.h"

#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QCoreApplication>
#include <QFileInfo>

void TGraphForm::ShowReceivedMemo(const TMemoPicture& picture)
{
    const QString name = NewName();
    ShowArrivedPicture(picture, name, name);
    Modified = true;
}

void TGraphForm::ShowStoredMemo(const TMemoPicture& picture, const QString& path)
{
    ShowArrivedPicture(picture, path, QFileInfo(path).fileName());
    Modified = false;  // it is on disk already
}

void TGraphForm::ShowArrivedPicture(const TMemoPicture& picture, const QString& fileName, const QString& caption)
{
    FileName = fileName;
    SetCaption(caption);
    ChooseZoomFor(QSize(picture.ImageWidth, picture.ImageHeight));
    SetClientSize(picture.ImageWidth * Zoom(), picture.ImageHeight * Zoom());
    ImageWidth = picture.ImageWidth;
    ImageHeight = picture.ImageHeight;
    Image1->setPicture(picture.Image);
    SetButtonStatus();
    QCoreApplication::processEvents();  // let the window paint before the next memo
}
