// 元に戻す: the memo window keeps the state from before its last picture change, one level.
#include "memo/Gmemo.h"

#include "memo/ImageArea.h"

TGraphForm::TMemoState TGraphForm::State() const
{
    TMemoState state;
    state.Picture = Image1->picture();  // shared, not copied, until one of them changes
    state.ImageWidth = ImageWidth;
    state.ImageHeight = ImageHeight;
    state.FileName = FileName;
    state.CaptionName = captionName_;
    state.DeviceTitle = deviceTitle_;
    state.Modified = Modified;
    state.Client = ClientSize();
    state.AutoSize = Image1->autoSize();
    state.FillsClient = Image1->fillsClient();
    return state;
}

void TGraphForm::RememberForUndo(TMemoState before)
{
    undo_ = std::move(before);
}

void TGraphForm::Undo1Click()
{
    if (!undo_)
        return;
    EndRegionSelection();  // the band and the held pointer belong to the picture going away
    const TMemoState state = std::move(*undo_);
    undo_.reset();
    Image1->setAutoSize(state.AutoSize);
    Image1->setFillsClient(state.FillsClient);
    Image1->setPicture(state.Picture);
    ImageWidth = state.ImageWidth;
    ImageHeight = state.ImageHeight;
    FileName = state.FileName;
    deviceTitle_ = state.DeviceTitle;
    setToolTip(deviceTitle_);
    SetCaption(state.CaptionName);
    // A picture comes back at the window's zoom now; a window without one at its old size.
    if (state.Picture.isNull())
        SetClientSize(state.Client.width(), state.Client.height());
    else
        FitClientToPicture();
    Modified = state.Modified;
    RealisePalette();
    SetButtonStatus();
}

void TGraphForm::ShowPicture(const QImage& picture)
{
    ChooseZoomFor(picture.size());
    Image1->setPicture(picture);
    FitClientToPicture();
    ImageHeight = uint16_t(picture.height());
    ImageWidth = uint16_t(picture.width());
}

void TGraphForm::ReplacePicture(const QImage& picture)
{
    EndRegionSelection();
    RememberForUndo();
    ShowPicture(picture);
    RealisePalette();
    Modified = true;
    SetButtonStatus();
}
