// 元に戻す: the memo window keeps the state from before its last picture change, one level.
#include "memo/MemoWindow.h"

#include "memo/ImageArea.h"

MemoWindow::MemoState MemoWindow::state() const
{
    MemoState state;
    state.Picture = Image1->picture();  // shared, not copied, until one of them changes
    state.ImageWidth = ImageWidth;
    state.ImageHeight = ImageHeight;
    state.FileName = FileName;
    state.CaptionName = captionName_;
    state.DeviceTitle = deviceTitle_;
    state.Modified = Modified;
    state.Client = clientSize();
    state.AutoSize = Image1->autoSize();
    state.FillsClient = Image1->fillsClient();
    return state;
}

void MemoWindow::rememberForUndo(MemoState before)
{
    undo_ = std::move(before);
}

void MemoWindow::undo()
{
    if (!undo_)
        return;
    endRegionSelection();  // the band and the held pointer belong to the picture going away
    const MemoState state = std::move(*undo_);
    undo_.reset();
    Image1->setAutoSize(state.AutoSize);
    Image1->setFillsClient(state.FillsClient);
    Image1->setPicture(state.Picture);
    ImageWidth = state.ImageWidth;
    ImageHeight = state.ImageHeight;
    FileName = state.FileName;
    deviceTitle_ = state.DeviceTitle;
    setToolTip(deviceTitle_);
    setCaption(state.CaptionName);
    // A picture comes back at the window's zoom now; a window without one at its old size.
    if (state.Picture.isNull())
        setClientSize(state.Client.width(), state.Client.height());
    else
        fitClientToPicture();
    Modified = state.Modified;
    realisePalette();
    publishState();
}

void MemoWindow::showPicture(const QImage& picture)
{
    chooseZoomFor(picture.size());
    Image1->setPicture(picture);
    fitClientToPicture();
    ImageHeight = uint16_t(picture.height());
    ImageWidth = uint16_t(picture.width());
}

void MemoWindow::replacePicture(const QImage& picture)
{
    endRegionSelection();
    rememberForUndo();
    showPicture(picture);
    realisePalette();
    Modified = true;
    publishState();
}
