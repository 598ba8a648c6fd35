// 送信用に変換: the frame's command that prepares the active memo window's picture for the
// device in the preparation dialog and opens the result in a new memo window.
#include "app/MainWindow.h"

#include "gui/LazyForm.h"
#include "app/PrepareDialog.h"
#include "link/Config.h"
#include "memo/MemoWindow.h"
#include "memo/ImageArea.h"
#include "prepare/PrepareConfig.h"
#include "prepare/PrepareFile.h"
#include "prepare/Suggestion.h"
#include "gui/MessageBox.h"
#include "picture/Picture.h"

#include <QDir>
#include <QFileInfo>

namespace {

LazyForm<TPrepareDialog> PrepareDlg;

// What the dialog prepares: the file the window's picture came from while the picture is as
// read (a large photo is then decoded only as far as the result needs, and stands upright as
// the camera meant; one the window shows reduced is prepared from its full size), else the
// picture the window shows.
std::shared_ptr<TPictureSource> PictureOf(const MemoWindow* memo)
{
    const QImage& shown = memo->Image1->picture();
    const QString file = memo->pictureFile();
    const QSize own = memo->pictureFileSize();
    if (!file.isEmpty())
        if (std::shared_ptr<TPictureSource> source = OpenPictureForPreparation(file))
            // The file has not been replaced by another picture since it was read.
            if (source->Nominal() == own || source->Nominal() == own.transposed())
                return source;
    return TPictureSource::FromImage(shown);
}

// NAME_QM.BMP beside the source; where that name is taken, NAME_QM_2.BMP, NAME_QM_3.BMP, ...
// so that saving the new window does not write over an earlier result.
QString ConvertedName(const QString& sourceName)
{
    const QString first = MemoWindow::bmpNameFor(sourceName, true);
    const QFileInfo info(first);
    QString name = first;
    for (int n = 2; QFileInfo::exists(name) && n < 1000; ++n) {
        const QString numbered = info.completeBaseName() + QStringLiteral("_%1.BMP").arg(n);
        name = first.contains(QLatin1Char('/')) ? info.dir().filePath(numbered) : numbered;
    }
    return name;
}

}  // namespace

void MainWindow::prepareForSending()
{
    if (MemoWindow* source = activeMemo())
        prepareWindow(source, std::nullopt);
}

MemoWindow* MainWindow::prepareWindow(MemoWindow* source, const std::optional<TPrepareSettings>& start)
{
    if (!source || source->FileName.isEmpty() || source->Image1->picture().isNull())
        return nullptr;
    source->endRegionSelection();
    if (!prepareSettings_)
        prepareSettings_ = ReadPrepareSettings(kConfigFile);

    PrepareDlg.SetOwner(this);
    TPrepareDialog& dialog = *PrepareDlg;
    dialog.SetSettings(start ? *start : *prepareSettings_);
    dialog.SetPicture(PictureOf(source));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const QImage result = dialog.Result();
    const TPrepareSettings chosen = dialog.Settings();
    dialog.SetPicture(nullptr);  // the picture's copies are not kept between uses
    if (!accepted || result.isNull())
        return nullptr;
    if (chosen != *prepareSettings_) {
        prepareSettings_ = chosen;
        prepareSettingsChanged_ = true;
    }

    // The new window starts as a copy of the source, then shows the result as a change that
    // 元に戻す takes back: the picture as it was before the preparation.
    MemoWindow::MemoState before = source->state();
    const QString name = ConvertedName(source->FileName);
    before.FileName = name;
    before.CaptionName = QFileInfo(name).fileName();
    before.DeviceTitle.clear();
    before.Modified = true;
    before.AutoSize = true;
    before.FillsClient = false;
    MemoWindow* memo = createMemoWindow();
    memo->Image1->setAutoSize(true);
    memo->Image1->setFillsClient(false);
    memo->FileName = name;
    memo->setCaption(before.CaptionName);
    memo->replacePicture(result);
    memo->rememberForUndo(before);
    memo->publishState();
    return memo;
}

MemoWindow* MainWindow::prepareSuggested(MemoWindow* source, const QImage& picture)
{
    if (!prepareSettings_)
        prepareSettings_ = ReadPrepareSettings(kConfigFile);
    return prepareWindow(source, SuggestedSettings(*prepareSettings_, picture));
}

// Saving and sending make a picture black and white by the plain rule: every pixel that is not
// white turns black, which leaves a photo a black block and a grey drawing a silhouette. So a
// picture with grey or colour first offers 送信用に変換, with the conversion that suits it.
MemoWindow* MainWindow::offerPreparation(MemoWindow* memo, const QImage& picture, const QString& action)
{
    if (IsBlackAndWhite(picture))
        return memo;
    const QString question = QStringLiteral("%1 は白黒ではありません。このまま%2すると、白以外の点はすべて黒になります。\n\n"
                                            "送信用に変換で、この画像に合った方法で白黒にしますか？")
                                 .arg(memo->memoLabel(), action);
    switch (ShowBox(BoxKind::Confirmation, question, BoxButtons::PrepareAsIsCancel)) {
    case BoxAnswer::Yes: return prepareSuggested(memo, memo->Image1->picture());
    case BoxAnswer::No: return memo;
    default: return nullptr;
    }
}
