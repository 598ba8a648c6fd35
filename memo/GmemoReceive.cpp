// Drawing a memo that came from the device.
#include "memo/Gmemo.h"

#include "app/MainForm.h"
#include "memo/ImageArea.h"
#include "transfer/MemoImage.h"

#include <QCoreApplication>

const MemoBlock* TGraphForm::DispGraphMemo(const MemoBlock* header, QString& error)
{
    const int n = MainForm ? MainForm->MemoCount() : 1;
    FileName = QStringLiteral("NEW_%1.BMP").arg(n);
    SetCaption(FileName);

    // The size first, so the window has its final shape while the rows arrive.
    if (const QSize size = ClaimedImageSize(*header); DrawableImageSize(size)) {
        ChooseZoomFor(size);
        SetClientSize(size.width() * Zoom(), size.height() * Zoom());
    }

    TMemoPicture picture;
    TDrawHooks hooks;
    hooks.AfterBlock = [&] {
        ImageWidth = picture.ImageWidth;
        ImageHeight = picture.ImageHeight;
        Image1->setPicture(picture.Image);
        SetButtonStatus();
    };
    const MemoBlock* stop = ::DispGraphMemo(picture, header, error, hooks);
    ImageWidth = picture.ImageWidth;
    ImageHeight = picture.ImageHeight;
    Image1->setPicture(picture.Image);
    QCoreApplication::processEvents();  // let the window paint before the next memo
    Modified = true;
    return stop;
}
