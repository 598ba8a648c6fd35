// The frame window: menus, tool bar, status bar and the memo windows inside it. It alone
// knows its children: it owns the one set of commands that menu bar and tool bar share, routes
// each either to its own handler or to the active memo window, connects to the signals of
// every memo window it adds, computes every enabled state in one place (updateActions), and
// saves the configuration when it closes.
#pragma once

#include "gui/CursorClip.h"
#include "gui/HelpKeys.h"
#include "prepare/PrepareSettings.h"

#include <QHash>
#include <QMainWindow>

#include <optional>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QToolButton;
class MemoWindow;
struct LibraryMemo;

class MainWindow : public QMainWindow, public HelpContextSource {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Every enabled state of the commands, and the status bar, after the active memo window:
    // the image buttons, 元に戻す, paste (after the clipboard), 送信用に変換 and zoom. Without an
    // active memo window the image commands are off and the status texts stay.
    void updateActions();
    // The no-image status: "NO IMAGE", empty, "0Bytes".
    void showNoImageStatus();
    // Runs when the application becomes the foreground application.
    void applicationActivated();
    // The frame's help page, a memo window's, or that of a region being selected.
    unsigned long currentHelpContext() const override;
    void readConfig();
    void storeConfig();  // throws CommandFailure when a key cannot be written
    // The frame's size when none is stored.
    QSize firstStartSize() const;
    static QSize freeScreenSize();

    // Opens the picture in PATH in a new memo window, as Open does after its dialog; nothing
    // (and no window) when it cannot be read.
    MemoWindow* openMemoFile(const QString& path);
    // Files given to VEXLO from outside (its command line, a second start, a notification's
    // 開く): each opens in a memo window, one already open comes to the front, and the frame
    // comes forward. Files that cannot be opened as pictures are named in one box.
    void openFiles(const QStringList& paths);
    // Adds a memo window to the frame, connects to its signals, gives it its source of NEW_n
    // names and shows it; the frame's list owns it from then on.
    void addMemoWindow(MemoWindow* memo);
    // A new memo window, added to the frame, with a fixed border.
    MemoWindow* createMemoWindow();
    MemoWindow* activeMemo() const;
    int memoCount() const;
    // A generated name for MEMO: PATTERN ("NEW_%1.BMP") with the number of memo windows, or
    // the next number after it that no other open window carries, so that two windows never
    // share a name (the quit question and すべて保存 tell them apart by it).
    QString freeMemoName(const QString& pattern, const MemoWindow* memo) const;
    QList<MemoWindow*> memoWindows() const;
    // The library's 送信: one send exchange per memo, with its own title and reading, after one
    // question for all of them; stops at the first memo that cannot be sent. False when
    // nothing was sent to the end.
    bool sendLibraryMemos(const QList<LibraryMemo>& memos);
    // Ends any armed or dragging region selection in every memo window (an exchange starts).
    void endRegionSelections();

    // Command handlers (menu items and tool buttons).
    void newWindow();
    void openFile();
    void loadFile();
    void showLibrary();
    void save();
    void saveAs();
    void exportPicture();
    void print();
    void printerSetup();
    void closeWindow();
    void exitProgram();
    void undo();
    void zoomIn();
    void zoomOut();
    void actualSize();
    // 送信用に変換: the active memo window's picture prepared for the device (the dialog), in a
    // new memo window named NAME_QM.BMP and marked changed; the window itself is not touched.
    // 元に戻す in the new window shows the picture as it was before the preparation.
    void prepareForSending();
    // 送信用に変換 of SOURCE, starting from START (else the settings last used): the new
    // window with the result, or nullptr when the dialog was cancelled.
    MemoWindow* prepareWindow(MemoWindow* source, const std::optional<TPrepareSettings>& start);
    // The same, starting with the conversion (and size) that suits PICTURE.
    MemoWindow* prepareSuggested(MemoWindow* source, const QImage& picture);
    // Before PICTURE of MEMO is saved or sent (ACTION: 保存, 送信) as black and white: a
    // picture with grey or colour asks first, and 送信用に変換 prepares it. The window to go on
    // with (MEMO for a black and white picture or そのまま, the prepared one), or nullptr.
    MemoWindow* offerPreparation(MemoWindow* memo, const QImage& picture, const QString& action);
    void copy();
    void cut();
    void paste();
    void send();
    void receive();
    void showOptions();
    void tileWindows();
    void cascadeWindows();
    void arrangeIcons();
    void showHelpContents();
    void searchHelp();
    void showHelpOnHelp();
    void showAbout();

    // The menus, commands, tool buttons and status panels (the tests find them here too).
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
    QAction* ZoomIn1 = nullptr;
    QAction* ZoomOut1 = nullptr;
    QAction* ActualSize1 = nullptr;
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
    QLabel* namePanel = nullptr;
    QLabel* sizePanel = nullptr;
    QLabel* bytesPanel = nullptr;
    QLabel* zoomPanel = nullptr;  // the active memo window's zoom (200%); hidden without one
    QLabel* receiverPanel = nullptr;  // 自動受信中 (COM1), while the receiver runs

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initialise();
    // Before the program ends: one changed memo asks its own question, several are asked
    // about at once (すべて保存 saves them into one folder). False keeps the program running.
    bool mayCloseMemos();
    bool saveChangedMemos(const QList<MemoWindow*>& memos);
    bool finishClosing();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void sendLibraryMemosGuarded(const QList<LibraryMemo>& memos);
    void libraryMemoRenamed(const QString& oldPath, const QString& newPath);
    void libraryMemosTrashed(const QStringList& paths);
    // The enabled states for MEMO as the active memo window (none: nullptr).
    void updateActionsFor(const MemoWindow* memo);
    // A memo window's menu titles are written in full-width katakana, the frame's alone in
    // half-width.
    void setMenuTitlesFor(bool memoActive);
    // Lists the open memo windows under the ｳｨﾝﾄﾞｳ menu's three commands; choosing one
    // activates it.
    void fillWindowList(QMenu* menu);
    void createWindowKeys();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, void (MainWindow::*handler)());
    // A tool button that runs the command ACTION; its enabled state is set by updateActions.
    QToolButton* addButton(const char* name, int width, const QString& hint, int picture, QAction* action);

    QHash<QString, QAction*> commands_;  // every command of the menus, by object name
    // 送信用に変換's last settings: read from [Convert] when first needed, written at exit when
    // they changed.
    std::optional<TPrepareSettings> prepareSettings_;
    bool prepareSettingsChanged_ = false;
    // Something other than a regular file stands where VEXLO.INI belongs: the user was told at
    // start-up, and the exit writes nothing over it.
    bool configRefused_ = false;
};

extern MainWindow* MainForm;
