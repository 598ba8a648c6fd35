// What the library does with the memos the user selected: open them in memo windows (through
// the frame), print them, write them out in another format, move them to the trash, and
// give one a new title. Each command tells the user about a failure itself (message boxes).
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

struct LibraryMemo {
    QString path;
    QString title;
    QString reading;
    QDateTime time;
    bool titled = false;  // the title came from the file's text
    QStringList tags;
    QString note;
    bool starred = false;
};

// Opens one memo in a memo window (set by the frame).
using MemoOpener = std::function<void(const LibraryMemo& memo)>;

// Opens each memo; more than a few at once are opened only after the user agreed.
void OpenLibraryMemos(const QList<LibraryMemo>& memos, const MemoOpener& open);

// Several memos a page, each at its size on screen with its title and time under it.
void PrintLibraryMemos(QWidget* parent, const QList<LibraryMemo>& memos);

// Writes the memos out as pictures or documents of another format (PNG, SVG, PDF), as the
// memo windows' 書き出し does (gui/ExportCommand.h): a PDF of several memos is a contact sheet
// when the export dialog asks for more than one a page.
void ExportLibraryMemos(QWidget* parent, const QList<LibraryMemo>& memos);

// Moves the memos' files to the desktop's trash after one question; a file that cannot go
// there stays where it is, and the user is told which and why. The paths of the files moved.
QStringList TrashLibraryMemos(const QList<LibraryMemo>& memos);

// Keeps MEMO, one of VERSIONS (the file names of one memo's original and its conflict copies
// in MEMO's folder), after one question: the other versions go to the desktop's trash and a
// kept copy takes the original's name (store/SyncedFolder.h). A failure is shown; nothing is
// lost by it. Returns the kept file's name afterwards (empty when the user cancelled); TRASHED
// receives the paths moved to the trash.
QString KeepLibraryVersion(const LibraryMemo& memo, const QStringList& versions, QStringList* trashed);

// Asks for a new title and reading for MEMO and renames it (store/MemoRename.h). The memo's
// file name afterwards; empty when the user cancelled or the rename failed.
QString RenameLibraryMemo(QWidget* parent, const LibraryMemo& memo);
