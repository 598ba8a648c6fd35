// Drawing a memo that came from the device.
#include "memo/MemoWindow.h"

#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QCoreApplication>
#include <QFileInfo>

void MemoWindow::showReceivedMemo(const TMemoPicture& picture)
{
    const QString name = newName();
    showArrivedPicture(picture, name, name);
    Modified = true;
}

void MemoWindow::showStoredMemo(const TMemoPicture& picture, const QString& path)
{
    showArrivedPicture(picture, path, QFileInfo(path).fileName());
    Modified = false;  // it is on disk already
}

void MemoWindow::showArrivedPicture(const TMemoPicture& picture, const QString& fileName, const QString& caption)
{
    FileName = fileName;
    setCaption(caption);
    chooseZoomFor(QSize(picture.ImageWidth, picture.ImageHeight));
    setClientSize(picture.ImageWidth * zoom(), picture.ImageHeight * zoom());
    ImageWidth = picture.ImageWidth;
    ImageHeight = picture.ImageHeight;
    Image1->setPicture(picture.Image);
    publishState();
    QCoreApplication::processEvents();  // let the window paint before the next memo
}
