// MemoStore — the library folder and the inbox that fills it: every received memo becomes one
// file there (store/MemoFile.h) before the device is told it arrived.
//
// Settings ([Library] of VEXLO.INI, read at start-up, written at exit like the others):
//   Folder=    the library folder; empty or missing: DefaultLibraryFolder()
//   AutoSave=  "TRUE" (default) stores every received memo; any other text turns the inbox
//              off, and received memos open as unsaved windows as they always did.
//   Order=     how メモ一覧 sorts: "Newest" (default), "Oldest" or "Title"; an unknown word
//              reads as the default.
//   Synced=    whether a sync tool carries the folder between PCs: "AUTO" (default, or any
//              other text) looks for a sync tool's mark (store/SyncedFolder.h), "TRUE" and
//              "FALSE" say so for tools that leave none. Written only when not AUTO.
//
// File names: "YYYY-MM-DD HH.MM.SS title.png" (time of arrival, local time), the title as
// readable text with the characters a file name cannot hold ("/", NUL, control characters,
// leading dots, trailing blanks and dots) turned into "_", cut so that the name stays well
// under 255 bytes; no title gives "YYYY-MM-DD HH.MM.SS.png"; a name that is taken gets
// " (2)", " (3)" ... before ".png". Nothing is ever written over. In a synced folder the time
// gains this PC's machine part ("YYYY-MM-DD HH.MM.SS-3f9a title.png"): a name taken on
// another PC may not have arrived here yet, so " (2)" alone cannot keep two PCs apart, while
// the machine part does; a folder only this PC fills keeps the plain names.
//
// Durability: each file goes through platform::WriteNewFile (temporary file, fsync, rename
// without replacing, fsync of the folder): once Store has returned, the memo outlasts kill -9
// and a power cut. Opening the store removes the temporary files that writers which died
// left behind.
#pragma once

#include "link/Config.h"
#include "platform/DurableFile.h"
#include "store/MemoFile.h"
#include "store/SyncedFolder.h"
#include "transfer/ReceivedMemos.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

enum class SyncedSetting { Auto, Yes, No };

struct TLibrarySettings {
    QString Folder;  // as the user gave it; empty: the default folder
    bool AutoSave = true;
    QString Order = QStringLiteral("Newest");  // the list's order as last chosen
    SyncedSetting Synced = SyncedSetting::Auto;
};

// The orders メモ一覧 offers, in the order of its list, as Order= names them.
inline const QStringList kLibraryOrders{QStringLiteral("Newest"), QStringLiteral("Oldest"), QStringLiteral("Title")};

// The program's settings for this run (the desktop program loads them at start-up).
extern TLibrarySettings LibrarySettings;

TLibrarySettings ReadLibrarySettings(const std::string& file = kConfigFile);
// Writes [Library] AutoSave and Order, Folder when one was given, and Synced when it is not
// AUTO. Returns the failure text
// ("<file> に書き込めません", a line end, the cause) when a key cannot be written.
std::optional<std::string> StoreLibrarySettings(const TLibrarySettings& settings,
                                                const std::string& file = kConfigFile);

// $XDG_DATA_HOME/vexlo/memos (~/.local/share/vexlo/memos).
QString DefaultLibraryFolder();
// The folder SETTINGS name: Folder ("~/" standing for the home folder), or the default.
QString LibraryFolder(const TLibrarySettings& settings = LibrarySettings);

// What the device said about MEMO, as the file carries it.
TMemoMeta MemoMetaOf(const TReceivedMemo& memo, const QDateTime& arrived);

class TMemoStore {
public:
    explicit TMemoStore(QString folder, SyncedSetting synced = SyncedSetting::Auto);

    const QString& Folder() const { return folder_; }

    // Makes the folder (and its parents) when missing, refuses one that files cannot be made
    // in, and removes what writers that died left there. Decides whether names carry the
    // machine part (Synced above); with AUTO, Store looks again for every memo.
    std::optional<platform::FileWriteError> Open();

    // Whether the names carry a machine part (as the last Open or Store found).
    bool Synced() const { return synced_; }
    // Another PC's machine part instead of this one's (for tests that play two PCs).
    void SetMachinePart(const QString& part) { machine_ = part; }

    // Writes PICTURE with META as a new file, named after META's arrival time and title.
    // PATH receives the file's path. On failure nothing is left in the folder.
    std::optional<platform::FileWriteError> Store(const QImage& picture, const TMemoMeta& meta, QString* path);

    // The files stored so far.
    int Stored() const { return stored_; }

private:
    QString folder_;
    SyncedSetting setting_;
    bool synced_ = false;
    TSyncedFolderCheck syncedCheck_;  // with AUTO: whether the folder is synced, looked at again when it changes
    QString machine_;  // empty: MachinePart()
    int stored_ = 0;
};

// The user's words when a received memo cannot be stored: where, why, and that the memo is
// still on the device (and that the STOREDBEFORE memos before it are kept).
QString StoreFailureText(const QString& folder, const platform::FileWriteError& failure, int storedBefore);
// The same when the folder cannot be used before any memo has come.
QString FolderFailureText(const QString& folder, const platform::FileWriteError& failure);
