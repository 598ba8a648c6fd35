// A memo window: one memo image inside the frame, with its file name, its modified state,
// its own menu bar (laid out like the frame's), save, print and the close protocol.
#pragma once

#include <QImage>
#include <QMdiSubWindow>
#include <QString>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class TImageArea;
struct MemoBlock;

class TGraphForm : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TGraphForm(QWidget* parent = nullptr);
    ~TGraphForm() override;

    // Publishes the window's state to the frame's status bar, tool buttons and paste controls.
    void SetButtonStatus();
    void FormActivate();
    void Image1Click();
    void CoImage1Click();
    void Edit1Click();

    // Loads an image file; false (state unchanged) when it cannot be read as an image.
    bool SetImage(const QString& fileName);
    void Save1Click();
    void SaveAs1Click();
    void Print1Click();
    void PrintSetup1Click();
    // The save prompt before closing; false only when a save there failed (the window stays).
    bool FormCloseQuery();
    void FormClose();

    // A single border that the user cannot drag to another size.
    void SetSingleBorder();
    // Sizes the window so that its client area is W x H pixels.
    void SetClientSize(int width, int height);
    QSize ClientSize() const;

    void Copy1Click();
    void Cut1Click();
    void Paste1Click();

    // Region selection. Arming (after Send refused the image as too large) confines the
    // pointer to the window and waits for a drag; the release asks whether to send that
    // region, OK stores it and runs Send, Cancel arms again. Escape, closing or minimising the
    // window, another window becoming active and another exchange starting end it.
    void ArmRegionSelection();
    void Image1Set();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y);
    void Image1EraseRubber();
    // Ends an armed selection or a drag: the band goes, the pointer is free, nothing is sent.
    // Harmless when none is in progress.
    void EndRegionSelection();

    // Draws the received memo whose image header record is HEADER into this new window, which
    // takes the name NEW_n.BMP, the memo's size and the changed state. Returns the block the
    // drawing stopped at. A memo too large to take is not drawn: ERROR says why.
    const MemoBlock* DispGraphMemo(const MemoBlock* header, QString& error);

    // Times the window realised its palette; lets tests count the refresh rule.
    int PaletteRealisations() const { return paletteRealisations_; }

    // The window's own menu bar, in the frame's order.
    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* Comm1 = nullptr;
    QAction* Option1 = nullptr;
    QMenu* Window1 = nullptr;
    QMenu* About1 = nullptr;
    QAction* Paste1 = nullptr;

    TImageArea* Image1 = nullptr;

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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void createMenus();
    void RealisePalette();
    void KeepTopLeftVisible();
    void EnsurePicture();
    // The picture, converted in place to one bit per pixel (Save and Copy).
    void ConvertToMonochrome();
    // Selection: the status text while armed; watching for Escape and for the window or the
    // program losing the user's attention.
    void connectSelection();
    void ShowSelectionStatus(int x, int y);
    void ReleaseConfinement();
    void WatchEscape(bool on);
    // The rectangle the pointer is held in while selection is armed (screen pixels).
    QRect ConfinementRect() const;

    int paletteRealisations_ = 0;
    std::unique_ptr<QObject> escapeWatcher_;  // while selection is armed or dragging
};
