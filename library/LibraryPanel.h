// The library window's contents: a filter box, the order, the commands, and the memos of the
// library folder as a grid of pictures with titles and times. It follows the folder: files
// that arrive, are added, removed or renamed by any program show up by themselves. The folder
// is looked at beside the window (store/IndexRefresher.h): while that takes, the list shows
// what it had, and the window answers.
//
// Conflict copies that sync tools made are marked in the list and kept beside their original;
// このファイルを残す keeps one version of such a memo. When the folder's index cannot be kept
// (store/LibraryIndex.h), a line under the list says why; the list works all the same.
//
// ShowLibrary puts it into the frame as a dock (メモ一覧) beside the memo windows, once;
// asking again shows it and gives it the keyboard.
#pragma once

#include "library/LibraryCommands.h"
#include "library/LibraryModel.h"
#include "library/MemoNotesDialog.h"

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
class QListWidget;
class QListWidgetItem;
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
    QLabel* noticeLabel = nullptr;  // why the index cannot be kept; hidden when it can
    QToolBar* commandBar = nullptr;
    QToolBar* notesBar = nullptr;
    // The tags of the folder with their counts; activating one puts "#tag" into the search
    // box (or takes it out again).
    QListWidget* tagList = nullptr;
    TLibraryModel* memoModel = nullptr;
    QAction* openAction = nullptr;
    QAction* sendAction = nullptr;
    QAction* printAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* trashAction = nullptr;
    QAction* renameAction = nullptr;
    QAction* keepAction = nullptr;  // このファイルを残す: one version of a memo with conflict copies
    QAction* notesAction = nullptr;     // タグ・メモ書き: the dialog for the selected memos
    QAction* starAction = nullptr;      // stars the selected memos (takes it away when all have one)
    QAction* undoNotesAction = nullptr; // undoes the last change of tags, note or star

    // Makes CHANGE to the selected memos' tags, note and star; undoNotesAction undoes it.
    void changeNotes(const MemoNotesChange& change);
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
    void updateNotice();
    LibraryMemo memoAt(int row) const;
    void run(void (*command)(QWidget*, const QList<LibraryMemo>&));
    void takeEntries(MemoEntries entries, bool changed);
    void updateTags();
    void filterByTag(QListWidgetItem* item);
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
    NotesUndo undo_;
};

// The frame's library dock, made on first use; shown, raised and given the keyboard.
QDockWidget* ShowLibrary(QMainWindow* frame, const MemoOpener& open);
