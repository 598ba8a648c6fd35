// The library window's contents: a filter box, the order, the commands, and the memos of the
// library folder as a grid of pictures with titles and times. It follows the folder: files
// that arrive, are added, removed or renamed by any program show up by themselves. The folder
// is looked at beside the window (store/IndexRefresher.h): while that takes, the list shows
// what it had, and the window answers.
//
// ShowLibrary puts it into the frame as a dock (メモ一覧) beside the memo windows, once;
// asking again shows it and gives it the keyboard.
#pragma once

#include "library/LibraryCommands.h"
#include "library/LibraryModel.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

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
class IndexRefresher;

class TLibraryPanel : public QWidget {
    Q_OBJECT
public:
    explicit TLibraryPanel(const QString& folder, QWidget* parent = nullptr);
    ~TLibraryPanel() override;

    QString folder() const { return folder_; }
    // How a memo is opened in a memo window (the frame's).
    void setOpener(MemoOpener open) { open_ = std::move(open); }
    // Has the list compared with the folder (the watcher does it shortly after every change);
    // the list changes when that is done, and refreshed() says so.
    void refresh();
    // A refresh was asked for and its memos are not in the list yet.
    bool refreshing() const;
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
    // 重複を探す: the list shows only memos that are in the library more than once, group by
    // group; 重複を削除 then moves all but the oldest of each group to the trash.
    QAction* duplicatesAction = nullptr;
    QAction* trashDuplicatesAction = nullptr;

signals:
    // 送信: the frame sends MEMOS to the device, one exchange each.
    void sendRequested(const QList<LibraryMemo>& memos);
    // The list shows the folder as it was when the last refresh asked for began.
    void refreshed();
    // 名前の変更 gave the memo in OLDPATH the file NEWPATH.
    void memoRenamed(const QString& oldPath, const QString& newPath);
    // 削除 moved the files PATHS to the trash.
    void memosTrashed(const QStringList& paths);

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
    void takeEntries(MemoEntries entries, bool changed);
    // Refreshes, then does AFTER with the new list.
    void refreshThen(std::function<void()> after);
    void findDuplicates();
    void trashDuplicates();

    QString folder_;
    std::unique_ptr<IndexRefresher> index_;
    std::vector<std::function<void()>> afterRefresh_;
    bool partShown_ = false;  // the list shows memos handed over in the middle of a refresh
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* settle_ = nullptr;  // a burst of changes is looked at once
    MemoOpener open_;
};

// The frame's library dock, made on first use; shown, raised and given the keyboard.
QDockWidget* ShowLibrary(QMainWindow* frame, const MemoOpener& open);
