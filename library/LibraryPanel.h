// The library window's contents: a filter box, the order, the commands, and the memos of the
// library folder as a grid of pictures with titles and times. It follows the folder: files
// that arrive, are added, removed or renamed by any program show up by themselves.
//
// ShowLibrary puts it into the frame as a dock (メモ一覧) beside the memo windows, once;
// asking again shows it and gives it the keyboard.
#pragma once

#include "library/LibraryCommands.h"
#include "library/LibraryModel.h"

#include <QWidget>

#include <memory>

class QAction;
class QComboBox;
class QDockWidget;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QListView;
class QMainWindow;
class QTimer;
class QToolBar;
class LibraryIndex;

class TLibraryPanel : public QWidget {
    Q_OBJECT
public:
    explicit TLibraryPanel(const QString& folder, QWidget* parent = nullptr);
    ~TLibraryPanel() override;

    QString folder() const { return folder_; }
    // How a memo is opened in a memo window (the frame's).
    void setOpener(MemoOpener open) { open_ = std::move(open); }
    // Compares the list with the folder now (the watcher does it shortly after every change).
    void refresh();
    QList<LibraryMemo> selectedMemos() const;

    QLineEdit* filterEdit = nullptr;
    QComboBox* orderBox = nullptr;
    QListView* memoList = nullptr;
    QLabel* countLabel = nullptr;
    QToolBar* commandBar = nullptr;
    TLibraryModel* memoModel = nullptr;
    QAction* openAction = nullptr;
    QAction* sendAction = nullptr;
    QAction* printAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* trashAction = nullptr;
    QAction* renameAction = nullptr;

signals:
    // 送信: the frame sends MEMOS to the device, one exchange each.
    void sendRequested(const QList<LibraryMemo>& memos);

protected:
    // Letters typed in the list go into the filter box.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class KeepSelection;
    void createActions();
    void watchFolder();
    void updateActions();
    void updateCount();
    LibraryMemo memoAt(int row) const;
    void run(void (*command)(QWidget*, const QList<LibraryMemo>&));

    QString folder_;
    std::unique_ptr<LibraryIndex> index_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr;  // a burst of changes is looked at once
    MemoOpener open_;
};

// The frame's library dock, made on first use; shown, raised and given the keyboard.
QDockWidget* ShowLibrary(QMainWindow* frame, const MemoOpener& open);
