// A memo window: one memo image inside the frame, with its file name, its modified state,
// save, print and the close protocol. The window knows nothing of the frame: it tells what
// changed through its signals, and the frame, which owns the menus and the tool bar, shows it.
#pragma once

#include <QImage>
#include <QMdiSubWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QScrollArea;
class TImageArea;
struct TExportMemo;
struct TMemoPicture;

class MemoWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit MemoWindow(QWidget* parent = nullptr);
    ~MemoWindow() override;

    // Zoom: the picture shown at 1, 2, 3, 4, 6 or 8 times, every pixel a sharp square. The
    // window grows with the picture up to the frame's client area, and scrolls beyond it. The
    // picture, the region, the status bar's sizes, saving and printing stay in image pixels.
    static constexpr int ZoomLevels[] = {1, 2, 3, 4, 6, 8};
    int zoom() const;
    void setZoom(int zoom);
    void zoomIn();
    void zoomOut();
    void actualSize();
    // The zoom a window opens a picture WIDTH pixels wide at: the configured one ([General]
    // Zoom=, 0 when not set), else the smallest that shows it at least 240 pixels wide.
    static int zoomForPicture(int width);
    static void setConfiguredZoom(int zoom);
    bool canZoomIn() const;
    bool canZoomOut() const;

    // Tells the frame that what it shows of the window (name, size, selection, undo, zoom) may
    // have changed: emits stateChanged.
    void publishState();
    void becameActive();
    void imageClicked();
    void refreshAfterActivation();

    // True when the clipboard holds a picture.
    static bool clipboardHasPicture();
    // Where a window that gets a picture without a file (a paste, a received memo) takes its
    // name NEW_n.BMP from; the frame sets it when it adds the window. Without it: NEW_1.BMP.
    void setNewNameSource(std::function<QString()> source) { newName_ = std::move(source); }

    // Loads an image file; false (state unchanged) when it cannot be read as an image. A PNG
    // or JPEG photo too large to be held whole is shown reduced (picture/PictureRows.h).
    bool loadPicture(const QString& fileName);
    // The file the picture was read from, as long as the picture has not changed since;
    // empty otherwise.
    QString pictureFile() const;
    // The size of the picture in pictureFile(): the size shown, or larger when it is shown reduced.
    QSize pictureFileSize() const { return pictureFileSize_; }
    // Save and Save As: true when the picture was written, false when the user cancelled the
    // dialog; a failed write throws CommandFailure and leaves name, caption and Modified as
    // they were. Save writes in place only a black and white picture to a ".bmp" name; any
    // other asks through Save As, proposing NAME.BMP for another kind of file and NAME_QM.BMP
    // for a picture with grey or colour (the file keeps the picture as it was).
    bool save();
    bool saveAs(const QString& proposedName = QString());
    // Where Save writes without asking: FileName itself, or, where Save asks through Save As,
    // the name it proposes there.
    QString saveName() const;
    // FILENAME with its extension replaced: NAME.BMP, or NAME_QM.BMP for a picture that
    // saving turns black and white (or that 送信用に変換 made).
    static QString bmpNameFor(const QString& fileName, bool converted);
    // The file the window shows went under another name (renamed in メモ一覧): the window
    // takes PATH as its name and caption, and tells the frame.
    void fileRenamed(const QString& path);
    // The file the window shows is gone (moved to the trash): the window keeps its picture
    // under a new name NEW_n.BMP, marked changed, so that closing it asks to save it.
    void fileRemoved();
    // Writes the picture to PATH, which the window then takes as its name; throws
    // CommandFailure (name, caption and Modified as they were) when it cannot be written.
    void saveUnder(const QString& path);
    // The same into FOLDER under the name saveName has there, or NAME-2.BMP, NAME-3.BMP ...
    // when that is taken: nothing in FOLDER is written over.
    void saveIntoFolder(const QString& folder);
    // 書き出し: asks for the format (gui/ExportDlg.h), then for the file, and writes the
    // picture there (store/MemoExport.h); a failed write throws CommandFailure.
    void exportPicture();
    // The picture as a memo to export: named after the window, titled with the device's
    // title, with the arrival time its library file carries.
    TExportMemo exportMemo() const;
    void print();
    void printerSetup();
    // The save prompt before closing: false when the window stays open (ｷｬﾝｾﾙ, Escape, a
    // cancelled or failed save).
    bool mayClose();
    void finishClosing();

    // A single border that the user cannot drag to another size.
    void setSingleBorder();
    // Sizes the window so that its client area is W x H pixels.
    void setClientSize(int width, int height);
    QSize clientSize() const;
    // The client size setClientSize gives for a picture: its own, but never narrower than the
    // caption's icon and buttons need.
    QSize clientSizeFor(QSize picture) const;

    void copy();
    void cut();
    void paste();

    // 元に戻す, one level. A command that changes the picture (Paste, Cut, Load, the picture
    // preparation) remembers the window's state first; undo puts it back (picture, size,
    // file name, caption, device title, changed mark) and forgets it.
    struct MemoState {
        QImage Picture;
        uint16_t ImageWidth = 0;
        uint16_t ImageHeight = 0;
        QString FileName;
        QString CaptionName;
        QString DeviceTitle;
        bool Modified = false;
        QSize Client;
        bool AutoSize = true;
        bool FillsClient = true;
    };
    MemoState state() const;
    void rememberForUndo(MemoState before);
    void rememberForUndo() { rememberForUndo(state()); }
    bool canUndo() const { return undo_.has_value(); }
    void undo();
    // Shows PICTURE instead of the picture, at its own size and marked changed, as a command
    // the user can take back with 元に戻す; the file name stays.
    void replacePicture(const QImage& picture);

    // Region selection. Arming (after Send refused the image as too large) confines the
    // pointer to the window and waits for a drag; the release asks whether to send that
    // region, OK stores it and runs Send, Cancel arms again. Escape, closing or minimising the
    // window, another window becoming active and another exchange starting end it.
    void armRegionSelection();
    void holdPointerInWindow();
    void imagePressed(Qt::MouseButton button, int x, int y);
    void imageMoved(int x, int y);
    void imageReleased(Qt::MouseButton button, int x, int y);
    void eraseBand();
    // The keyboard's way through an armed selection, KEY with MODIFIERS; false for a key it
    // does not take. The first arrow key (or Enter) shows a band as large as the device takes
    // at the picture's top-left corner; the arrow keys move it, Shift with them resizes it
    // (right and bottom edges), Ctrl makes either step ten pixels; Enter asks about the band as
    // a release of the mouse does. The band stays on the picture.
    bool regionKey(int key, Qt::KeyboardModifiers modifiers);
    // Ends an armed selection or a drag: the band goes, the pointer is free, nothing is sent.
    // Harmless when none is in progress.
    void endRegionSelection();

    // Shows the received memo PICTURE (drawn by the receive exchange) in this new window, which
    // takes the name NEW_n.BMP, the memo's size and the changed state.
    void showReceivedMemo(const TMemoPicture& picture);
    // The same for a memo the inbox has stored in PATH: the window shows that file (caption
    // the file's name) and holds nothing unsaved.
    void showStoredMemo(const TMemoPicture& picture, const QString& path);

    // The caption: NAME (a file name without its folder, or a generated name), then a
    // received memo's device title. A window with a fixed size widens, where it must, so that
    // the caption shows whole (up to half the screen's width).
    void setCaption(const QString& name);
    QString captionName() const { return captionName_; }
    // A received memo's title as the device stores it (empty otherwise): shown in the caption,
    // the ｳｨﾝﾄﾞｳ menu's list of windows and the window's tooltip, as names alone look alike.
    void setDeviceTitle(const QString& title);
    QString deviceTitle() const { return deviceTitle_; }
    // How questions name the window: NAME「device title」, or NAME alone.
    QString memoLabel() const;

    // Times the window realised its palette; lets tests count the refresh rule.
    int paletteRealisations() const { return paletteRealisations_; }

    TImageArea* Image1 = nullptr;
    QScrollArea* scrollArea = nullptr;  // holds Image1; scrolls a zoomed picture larger than the frame

    // State fields.
    bool SkipPaletteOnce = false;
    uint16_t ImageHeight = 0;
    uint16_t ImageWidth = 0;
    QString FileName;
    int32_t StartX = 0;
    int32_t StartY = 0;
    int32_t EndX = 0;
    int32_t EndY = 0;
    bool Dragging = false;
    bool SelectMode = false;
    int32_t SelLeft = -1;
    int32_t SelTop = -1;
    int32_t SelRight = -1;
    int32_t SelBottom = -1;
    bool Modified = false;

signals:
    // What the frame shows of the window may have changed.
    void stateChanged();
    // While a region is dragged: its size, for the status bar.
    void selectionStatus(const QString& text);
    // The user confirmed a region: the frame sends it.
    void sendRequested();
    // The window closes (after its save question was answered).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void initialise();
    QString newName() const;
    // A received picture shown under FILENAME and CAPTION, at the zoom new windows open at.
    void showArrivedPicture(const TMemoPicture& picture, const QString& fileName, const QString& caption);
    void realisePalette();
    void keepTopLeftVisible();
    void keepInsideFrame();
    int captionWidth() const;
    void ensurePicture();
    // Shows PICTURE at its own size and takes its size as the image size.
    void showPicture(const QImage& picture);
    // A window's first picture chooses its zoom (zoomForPicture); later ones keep it.
    void chooseZoomFor(QSize picture);
    // The client area as large as the zoomed picture, within the frame's client area.
    void fitClientToPicture();
    // CLIENT shrunk to what the frame's client area has room for, with room for the scroll
    // bars it then needs.
    QSize boundedToFrame(QSize client) const;
    // The picture, converted in place to one bit per pixel (Save).
    void convertToMonochrome();
    // Selection: the status text while armed; watching for Escape and for the window or the
    // program losing the user's attention.
    void connectSelection();
    void showSelectionStatus(int x, int y);
    void showKeyBand();
    void releaseConfinement();
    void watchSelection(bool on);
    // Holds the pointer in confinementRect and puts it at its top-left corner.
    void confinePointer();
    // The rectangle the pointer is held in while selection is armed: the picture's visible
    // area, in screen pixels.
    QRect confinementRect() const;
    // Converts and writes the picture to FILENAME; clears Modified. Throws on failure.
    void writePicture(const QString& fileName);

    int paletteRealisations_ = 0;
    bool zoomChosen_ = false;
    int wheelDelta_ = 0;
    std::function<QString()> newName_;
    QString pictureFile_;      // the file loadPicture read the picture from
    qint64 pictureFileKey_ = 0; // the picture's cache key just after
    QSize pictureFileSize_;     // the picture's own size in that file

    QString captionName_;
    QString deviceTitle_;
    std::optional<MemoState> undo_;
    std::unique_ptr<QObject> selectionWatcher_;  // while selection is armed or dragging
    std::optional<QRect> keyBand_;                // the band the keys move, once a key showed it
};
