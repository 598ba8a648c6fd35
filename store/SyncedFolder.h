// SyncedFolder — a library folder that a sync tool carries between PCs: whether a folder is
// one, the short machine part that keeps the names of two PCs apart, and the conflict copies
// that sync tools make when one file was changed on two PCs.
//
// Contract
//   IsSyncedFolder(folder)
//       True when FOLDER or a folder above it holds the mark a sync tool leaves at the top of
//       what it syncs: ".stfolder" (Syncthing), ".dropbox" (Dropbox), ".sync_*.db",
//       "._sync_*.db", ".owncloudsync.log" or ".nextcloudsync.log" (the ownCloud and Nextcloud
//       clients). Tools that leave no mark are named in [Library] Synced= (store/MemoStore.h).
//   TSyncedFolderCheck(folder).IsSynced()
//       The same answer as IsSyncedFolder(folder), for a folder asked about again and again
//       (the library folder, before every memo stored): the folders from FOLDER up to the root
//       are looked through again only when one of them has changed since the last look (its
//       time of change, or another folder under its path), and at least once a minute.
//       Changed() tells that we have just changed FOLDER ourselves (a memo written into it):
//       that change alone does not make the next call look again. A mark put in FOLDER while
//       we write there may so go unseen for up to that minute.
//   MachinePart()
//       Four lower-case hex digits that stand for this PC: the start of a SHA-256 of the
//       system's machine id (/etc/machine-id; the host name when there is none), salted, so
//       the id itself is never shown. The same on every call and every run.
//   ConflictCopyOf(fileName)
//       For the name of a conflict copy, the name of the file it is a copy of; nothing for
//       any other name. Recognised, in any case of letters, also nested (a copy of a copy):
//         NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT      (Syncthing; DEVICE 7 letters/digits)
//         NAME (... conflicted copy ...YYYY-MM-DD...).EXT    (Dropbox, Nextcloud; also with
//         NAME (...競合コピー...YYYY-MM-DD...).EXT              " (N)" after it)
//         NAME_conflict-YYYYMMDD-HHMMSS.EXT                  (ownCloud)
//         NAME.EXT.orig                                      (EXT png or bmp)
//       The dates must be real dates: "memo.sync-conflict-20261399-..." is a memo's name.
//   KeepConflictVersion(folder, keep, others)
//       Of the versions of one memo (the original and its conflict copies, all file names in
//       FOLDER), KEEP stays and the OTHERS go to the user's trash (platform::MoveToTrash);
//       when KEEP is a copy it then takes the original's name (never over a file that took
//       that name meanwhile). Nothing is lost on any failure: a version that cannot go to the
//       trash stops it all before anything is renamed, and the failure says which file and
//       why. KEPT receives KEEP's name afterwards; TRASHED the names moved to the trash.
#pragma once

#include <QString>
#include <QStringList>

#include <QByteArray>

#include <chrono>
#include <optional>
#include <vector>
#include <sys/stat.h>

bool IsSyncedFolder(const QString& folder);

class TSyncedFolderCheck {
public:
    explicit TSyncedFolderCheck(QString folder);
    bool IsSynced();
    void Changed();

private:
    struct Level {
        QByteArray path;
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        struct timespec changed {};
    };
    static Level levelAt(const QByteArray& path);
    static bool same(const Level& a, const Level& b);

    QString folder_;
    bool known_ = false;
    bool synced_ = false;
    QByteArray resolved_;
    std::vector<Level> levels_;  // from the folder up, as far as the last look went
    std::chrono::steady_clock::time_point lookedAt_;
};

QString MachinePart();

std::optional<QString> ConflictCopyOf(const QString& fileName);

std::optional<QString> KeepConflictVersion(const QString& folder, const QString& keep, const QStringList& others,
                                           QString* kept = nullptr, QStringList* trashed = nullptr);
