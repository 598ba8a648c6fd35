// The memo window's clipboard commands: Copy puts the whole picture on the clipboard in
// monochrome and leaves the window's picture as it is, Cut copies it and then whitens it,
// Paste replaces it by the clipboard's picture. Cut and Paste can be taken back (元に戻す).
#include "memo/MemoWindow.h"

#include "gui/MessageBox.h"
#include "memo/ImageArea.h"
#include "picture/Picture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void MemoWindow::copy()
{
    ensurePicture();
    QGuiApplication::clipboard()->setImage(ToMonochrome(Image1->picture()));
    publishState();
}

// Cut first puts the picture on the clipboard exactly as Copy does, so that a memo cut to be
// pasted elsewhere is not lost, then whitens it.
void MemoWindow::cut()
{
    copy();
    rememberForUndo();
    QImage white(Image1->picture().size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    // A monochrome picture stays monochrome.
    Image1->setPicture(Image1->picture().depth() == 1 ? ToMonochrome(white) : white);
    publishState();
}

namespace {

// The clipboard's picture, read as a picture file is: the bytes of the first picture kind on
// offer (BMP and PNG first) go through the files' loader, so a damaged or oversized picture
// from another program is refused the same way and transparency becomes white. Only a picture
// offered without bytes (one this program put there) is taken as Qt holds it, with the same
// size limit and flattening.
QImage clipboardPicture(const QMimeData& data)
{
    QStringList kinds;
    for (const char* preferred : {"image/bmp", "image/png"})
        if (data.hasFormat(QLatin1String(preferred)))
            kinds << QLatin1String(preferred);
    for (const QString& kind : data.formats())
        if (kind.startsWith(QLatin1String("image/")) && !kinds.contains(kind))
            kinds << kind;
    bool offered = false;
    for (const QString& kind : kinds) {
        const QByteArray bytes = data.data(kind);
        offered = offered || !bytes.isEmpty();
        if (std::optional<QImage> picture = !bytes.isEmpty() ? ReadPictureBytes(bytes) : std::nullopt)
            return *picture;
    }
    if (offered)
        throw CommandFailure(QStringLiteral("クリップボードの画像を読み込めません"));
    const QImage picture = qvariant_cast<QImage>(data.imageData());
    // A picture that cannot be read, or one too large to hold, leaves the window as it was.
    if (picture.isNull())
        throw CommandFailure(QStringLiteral("クリップボードの画像を読み込めません"));
    if (!PictureSizeAccepted(picture.width(), picture.height()))
        throw CommandFailure(QStringLiteral("クリップボードの画像が大きすぎます"));
    return FlattenOntoWhite(picture);
}

}  // namespace

void MemoWindow::paste()
{
    // Checked again: the clipboard may have changed since the paste controls were set.
    if (!clipboardHasPicture())
        return;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return;
    const QImage picture = clipboardPicture(*data);

    endRegionSelection();
    rememberForUndo();
    FileName = newName();
    deviceTitle_.clear();  // no longer the device's memo
    setToolTip(QString());
    setCaption(FileName);
    showPicture(picture);
    realisePalette();
    publishState();
    Modified = true;
}
