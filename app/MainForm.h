// The frame window: menus, tool bar, status bar and the memo windows inside it. It routes
// every command either to its own handlers or to the active memo window, keeps the tool
// buttons' enabled state while no memo window is active, and saves the configuration when it
// closes.
#pragma once

#include "gui/CursorClip.h"
#include "prepare/PrepareSettings.h"

#include <QMainWindow>

#include <optional>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolButton;
class TGraphForm;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // State for no active memo window: the image buttons off, paste after the clipboard.
    void SBinitalize();
    // The no-image status: "NO IMAGE", empty, "0Bytes".
    void ShowNoImageStatus();
    // Runs when the application becomes the foreground application.
    void AppActivate();
    // Gives memo window MEMO the frame's click actions, item by item.
    void ShareMenuActions(TGraphForm* memo);
    void GetCfg();
    void StoreCfg();  // throws CommandFailure when a key cannot be written
    // The frame's size when none is stored.
    QSize FirstStartSize() const;
    static QSize FreeScreenSize();

    // Opens the picture in PATH in a new memo window, as Open does after its dialog; nothing
    // (and no window) when it cannot be read.
    TGraphForm* OpenMemoFile(const QString& path);
    // Adds a memo window to the frame and shows it; the frame's list owns it from then on.
    void AddMemoWindow(TGraphForm* memo);
    // A new memo window, added to the frame, with the frame's menu actions and a fixed border.
    TGraphForm* CreateMemoWindow();
    TGraphForm* ActiveMemo() const;
    int MemoCount() const;
    QList<TGraphForm*> MemoWindows() const;
    // True when the clipboard holds a picture.
    static bool ClipboardHasBitmap();
    // Ends any armed or dragging region selection in every memo window (an exchange starts).
    void EndRegionSelections();

    // Command handlers (menu items and tool buttons).
    void New1Click();
    void Open1Click();
    void Load1Click();
    void Library1Click();
    void Save1Click();
    void SaveAs1Click();
    void Export1Click();
    void Print1Click();
    void PrintSetup1Click();
    void Close1Click();
    void Exit1Click();
    void Edit1Click();
    void Undo1Click();
    // 送信用に変換: the active memo window's picture prepared for the device (the dialog), in a
    // new memo window named NAME_QM.BMP and marked changed; the window itself is not touched.
    // 元に戻す in the new window shows the picture as it was before the preparation.
    void Prepare1Click();
    void CopySB1Click();
    void CutSB1Click();
    void PasteSB1Click();
    void Transmit1Click();
    void N2Click();
    void Option1Click();
    void Tile1Click();
    void Cascade1Click();
    void AllangeIcons1Click();
    void Help1Click();
    void K1Click();
    void K2Click();
    void KA1Click();

    // Components that the memo windows and the commands use directly.
    QMdiArea* MdiArea = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* Comm1 = nullptr;
    QAction* Option1 = nullptr;
    QMenu* View1 = nullptr;
    QMenu* Window1 = nullptr;
    QMenu* About1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Prepare1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* SelectAll1 = nullptr;
    QToolButton* NewSB1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SaveSB1 = nullptr;
    QToolButton* CloseSB1 = nullptr;
    QToolButton* CopySB1 = nullptr;
    QToolButton* PasteSB1 = nullptr;
    QToolButton* CutSB1 = nullptr;
    QToolButton* TransSB1 = nullptr;
    QToolButton* RecvSB1 = nullptr;
    QToolButton* CommSB1 = nullptr;
    QLabel* Panel2 = nullptr;
    QLabel* Panel4 = nullptr;
    QLabel* Panel3 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    // Before the program ends: one changed memo asks its own question, several are asked
    // about at once (すべて保存 saves them into one folder). False keeps the program running.
    bool MayCloseMemos();
    bool SaveChangedMemos(const QList<TGraphForm*>& memos);
    bool FormClose();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void showMenusOf(TGraphForm* memo);
    // Lists the open memo windows under the ｳｨﾝﾄﾞｳ menu's three commands; choosing one
    // activates it.
    void FillWindowList(QMenu* menu);
    void createWindowKeys();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, void (TMainForm::*handler)());
    QToolButton* addButton(const char* name, int width, const QString& hint, int picture,
                           void (TMainForm::*handler)());

    QList<QMenu*> frameMenus_;  // the frame's own menu bar, in order
    // 送信用に変換's last settings: read from [Convert] when first needed, written at exit when
    // they changed.
    std::optional<TPrepareSettings> prepareSettings_;
    bool prepareSettingsChanged_ = false;
    // Something other than a regular file stands where VEXLO.INI belongs: the user was told at
    // start-up, and the exit writes nothing over it.
    bool configRefused_ = false;
};

extern TMainForm* MainForm;

// Ctrl++ (also Ctrl+= and Ctrl+; where + is a shifted key), Ctrl+- and Ctrl+0 on the 表示
// menu's 拡大, 縮小 and 等倍.
void SetZoomKeys(QMenu* menu);

// The usual keys on the file and edit commands of a menu (frame's or memo window's copy):
// Ctrl+N, Ctrl+O, Ctrl+S, Ctrl+P, Ctrl+Z, Ctrl+C, Ctrl+X, Ctrl+V, shown beside the items.
void SetStandardKeys(QMenu* menu);

// The cursor clip rectangle in force when the frame was created; restored at exit and
// whenever a region selection ends.
platform::ClipRect& SavedClipRect();
