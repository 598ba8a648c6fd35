// The tags, note and star of one memo or of several selected at once, asked for in a small
// dialog (タグ・メモ書き), and the change written into the memo files with one step of undo.
//
// Contract
//   TMemoNotesDialog(memos)
//       Shows the tags the memos carry, each checked when every memo has it and half checked
//       when only some do; the note when there is one memo, or when all have the same one;
//       the star checked, unchecked or half checked likewise. change() is what the user did:
//       tags typed in to add (separated by blanks or commas), tags unchecked to take away from
//       all, tags fully checked to give to all; the note only when it was edited; the star only
//       when it was set one way.
//   ChangeLibraryNotes(parent, memos, change)
//       Writes CHANGE into every memo (store/MemoNotes.h). A BMP, or a file that cannot be
//       written, keeps what it had; the user is told which and why in one message. Returns
//       what undoes the change: each memo changed with the notes it had before.
//   UndoLibraryNotes(parent, undo)
//       Writes back the notes each memo had; failures are told as above.
#pragma once

#include "library/LibraryCommands.h"
#include "store/MemoNotes.h"

#include <QDialog>
#include <QList>
#include <QPair>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

class TMemoNotesDialog : public QDialog {
    Q_OBJECT
public:
    explicit TMemoNotesDialog(const QList<LibraryMemo>& memos, QWidget* parent = nullptr);

    MemoNotesChange change() const;

    QLineEdit* addEdit = nullptr;
    QListWidget* tagList = nullptr;
    QPlainTextEdit* noteEdit = nullptr;
    QCheckBox* starBox = nullptr;

private:
    QList<LibraryMemo> memos_;
};

struct NotesUndo {
    QList<QPair<QString, MemoNotes>> before;  // path, notes it had
    bool isEmpty() const { return before.isEmpty(); }
};

NotesUndo ChangeLibraryNotes(QWidget* parent, const QList<LibraryMemo>& memos, const MemoNotesChange& change);
void UndoLibraryNotes(QWidget* parent, const NotesUndo& undo);
