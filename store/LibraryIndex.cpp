#include "store/LibraryIndex.h"

#include "platform/FileNames.h"
#include "store/LibraryQuery.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <variant>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Listed {
    QString name;
    QByteArray local;  // the name as the file system has it
};

// The memo names of a folder as it lists them, all in one block of bytes: a folder of fifty
// thousand memos costs no allocation a name.
class Listing {
public:
    void add(const char* name, size_t length)
    {
        entries_.push_back({quint32(bytes_.size()), quint32(length)});
        bytes_.append(name, qsizetype(length));
        bytes_.append('\0');
    }
    size_t size() const { return entries_.size(); }
    const char* data(size_t i) const { return bytes_.constData() + entries_[i].first; }
    QByteArrayView view(size_t i) const { return QByteArrayView(data(i), entries_[i].second); }
    Listed listed(size_t i) const
    {
        const QByteArray local(data(i), qsizetype(entries_[i].second));
        return {platform::DecodeFileName(local), local};
    }

private:
    QByteArray bytes_;
    std::vector<std::pair<quint32, quint32>> entries_;  // where each name starts, and its length
};

// The names of the memos known before, as the file system has them, found by their bytes
// (open addressing): the folder's names are looked up as they come, never decoded.
class KnownNames {
public:
    explicit KnownNames(const MemoList& entries)
    {
        size_t capacity = 16;
        while (capacity < entries.size() * 2)
            capacity *= 2;
        slots_.assign(capacity, 0);
        starts_.reserve(entries.size() + 1);
        for (const MemoEntry& e : entries) {
            starts_.push_back(quint32(bytes_.size()));
            bytes_.append(platform::EncodeFileName(e.fileNameView().toString()));
        }
        starts_.push_back(quint32(bytes_.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            size_t slot = qHash(name(i)) & (slots_.size() - 1);
            while (slots_[slot] != 0)
                slot = (slot + 1) & (slots_.size() - 1);
            slots_[slot] = quint32(i + 1);
        }
    }

    // The position of the entry named NAME, or -1.
    qsizetype find(QByteArrayView wanted) const
    {
        for (size_t slot = qHash(wanted) & (slots_.size() - 1); slots_[slot] != 0; slot = (slot + 1) & (slots_.size() - 1))
            if (name(slots_[slot] - 1) == wanted)
                return qsizetype(slots_[slot] - 1);
        return -1;
    }

private:
    QByteArrayView name(size_t i) const
    {
        return QByteArrayView(bytes_.constData() + starts_[i], starts_[i + 1] - starts_[i]);
    }

    QByteArray bytes_;
    std::vector<quint32> starts_;
    std::vector<quint32> slots_;  // entry + 1; 0 for none
};

bool hasMemoSuffix(const char* name, size_t length)
{
    if (length < 5 || name[0] == '.')
        return false;
    // A conflict copy "NAME.png.orig" is a memo too (store/SyncedFolder.h).
    if (length >= 10 && qstrnicmp(name + length - 5, ".orig", 5) == 0)
        length -= 5;
    const char* s = name + length - 4;
    return s[0] == '.' && ((qstrnicmp(s + 1, "png", 3) == 0) || (qstrnicmp(s + 1, "bmp", 3) == 0));
}

// An open folder, closed again when it goes.
class Folder {
public:
    explicit Folder(const QString& path) : dir_(::opendir(platform::EncodeFileName(path).constData())) {}
    ~Folder()
    {
        if (dir_)
            ::closedir(dir_);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    int fd() const { return dir_ ? ::dirfd(dir_) : -1; }

    // The names with memo suffixes, as the folder lists them; nothing when it cannot be read.
    Listing memoNames()
    {
        Listing listed;
        if (!dir_)
            return listed;
        while (const dirent* e = ::readdir(dir_)) {
            const size_t length = std::strlen(e->d_name);
            // Regular files, links to them, and names of a kind the file system does not tell.
            const bool mayBeFile = e->d_type == DT_REG || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN;
            if (mayBeFile && hasMemoSuffix(e->d_name, length))
                listed.add(e->d_name, length);
        }
        return listed;
    }

private:
    DIR* dir_;
};

qint64 modifiedNs(const struct stat& st)
{
    return qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

// The memo file NAME of the folder open as DIRFD, read (its first bytes) as it is now; nothing
// when it is no regular file or has gone. O_NONBLOCK: a FIFO under a memo's name must not
// hold us up. HEAD is a buffer kept from file to file.
std::optional<MemoEntry> readEntry(int dirfd, const Listed& file, QByteArray& head)
{
    const int fd = ::openat(dirfd, file.local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    head.resize(qsizetype(std::min<qint64>(st.st_size, kMemoHeadBytes)));
    qsizetype have = 0;
    while (have < head.size()) {
        const ssize_t n = ::read(fd, head.data() + have, size_t(head.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        have += n;
    }
    ::close(fd);
    head.truncate(have);
    const MemoInfo info = ReadMemoInfo(file.name, head, modifiedNs(st) / 1'000'000);
    return MemoEntry(file.name, qint64(st.st_size), modifiedNs(st), info, MemoSearchText(info));
}

// Something other than a regular file under one of the index's names: not ours to open or
// to remove.
bool foreignThingAt(const QString& path)
{
    struct stat st {};
    return ::lstat(platform::EncodeFileName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode);
}

// The index is held by another program (a write that takes long, a reader in the middle of a
// transaction) beyond the wait: nothing is wrong with it, and it is not ours to rebuild.
bool heldByAnother(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    // SQLITE_BUSY and SQLITE_LOCKED, with their extended codes (the low byte is the primary).
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xFF;
    return ok && (primary == 5 || primary == 6);
}

// The triggers that keep the full-text table in step with the rows of memo.
constexpr const char* kTriggers[] = {
    "CREATE TRIGGER memo_added AFTER INSERT ON memo BEGIN "
    "INSERT INTO memo_text(rowid, search) VALUES (new.id, new.search); END",
    "CREATE TRIGGER memo_removed AFTER DELETE ON memo BEGIN "
    "INSERT INTO memo_text(memo_text, rowid, search) VALUES ('delete', old.id, old.search); END",
};

std::function<void(const QString&)>& readHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

QString newConnectionName()
{
    return QStringLiteral("vexlo-index-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Writes the changes into the index on a thread of its own, so that a rebuild reads the next
// files while SQLite stores the ones before. It has its own
// connection: a connection belongs to the thread that made it. Everything goes in one
// transaction; a failure is no loss (the files still hold everything, and the next start
// compares them with whatever the index kept).
class IndexWriter {
public:
    IndexWriter(const QString& path, const QStringList& removed)
        : path_(path), removed_(removed), thread_([this] { run(); })
    {
    }
    ~IndexWriter() { finish(); }
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    void add(const MemoEntry& entry)
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(entry);
        if (queue_.size() >= kRowsAStatement)
            wake_.notify_one();
    }

    // Waits until everything is written.
    void finish()
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

private:
    static constexpr size_t kRowsAStatement = 100;

    // The rows that came since the last call: a statement's worth, or all once closing.
    std::vector<MemoEntry> take()
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return closing_ || queue_.size() >= kRowsAStatement; });
        return std::exchange(queue_, {});
    }

    void run()
    {
        const QString name = newConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path_);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
            // A row replaced takes its words out of the full-text table (its delete trigger).
            // A small page cache, as the reading connection has: a rebuild appends at the end
            // of the table, and the log takes the pages as they are written.
            bool ok = db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
                      QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-512")) &&
                      QSqlQuery(db).exec(QStringLiteral("PRAGMA recursive_triggers=ON")) && db.transaction();
            ok = ok && write(db);
            if (ok)
                ok = db.commit();
            if (!ok)
                db.rollback();
            while (!closing())  // whatever still comes is not written
                take();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    bool closing()
    {
        std::lock_guard lock(mutex_);
        return closing_;
    }

    bool write(QSqlDatabase& db)
    {
        // Into an empty table (a rebuild) the rows go without the triggers, and the full-text
        // table is made from all of them at the end: many times quicker than row by row.
        QSqlQuery ddl(db);
        const bool bulk = ddl.exec(QStringLiteral("SELECT 1 FROM memo LIMIT 1")) && !ddl.next();
        ddl.finish();
        if (bulk && !(ddl.exec(QStringLiteral("DROP TRIGGER memo_added")) &&
                      ddl.exec(QStringLiteral("DROP TRIGGER memo_removed"))))
            return false;
        if (!writeRows(db))
            return false;
        if (!bulk)
            return true;
        bool ok = ddl.exec(QStringLiteral("INSERT INTO memo_text(memo_text) VALUES ('rebuild')"));
        for (const char* sql : kTriggers)
            ok = ok && ddl.exec(QLatin1String(sql));
        return ok;
    }

    bool writeRows(QSqlDatabase& db)
    {
        QSqlQuery remove(db);
        bool ok = remove.prepare(QStringLiteral("DELETE FROM memo WHERE name = ?"));
        for (qsizetype i = 0; ok && i < removed_.size(); ++i) {
            remove.bindValue(0, removed_[i]);
            ok = remove.exec();
        }
        // Many rows a statement, as a rebuild writes ten thousand of them; the values bound by
        // names made once (Qt makes a name for a numbered place at every call).
        constexpr int kColumns = 11;
        QStringList names;
        for (size_t r = 0; r < kRowsAStatement; ++r)
            for (int c = 0; c < kColumns; ++c)
                names << QStringLiteral(":v%1_%2").arg(r).arg(c);
        auto insertFor = [&](size_t rows) {
            QString sql = QStringLiteral("INSERT OR REPLACE INTO memo(name, size, modified, title, reading, time, "
                                         "titled, tags, note, starred, search) VALUES ");
            for (size_t r = 0; r < rows; ++r) {
                sql += r == 0 ? QStringLiteral("(") : QStringLiteral(",(");
                for (int c = 0; c < kColumns; ++c)
                    sql += (c ? QStringLiteral(",") : QString()) + names[qsizetype(r * kColumns + size_t(c))];
                sql += QLatin1Char(')');
            }
            auto q = std::make_unique<QSqlQuery>(db);
            return q->prepare(sql) ? std::move(q) : nullptr;
        };
        const std::unique_ptr<QSqlQuery> batch = insertFor(kRowsAStatement);
        const std::unique_ptr<QSqlQuery> single = insertFor(1);
        ok = ok && batch && single;
        std::vector<MemoEntry> rows;
        for (bool last = false; ok && !last;) {
            last = closing();  // what was queued before the close is all there is
            std::vector<MemoEntry> more = take();
            std::move(more.begin(), more.end(), std::back_inserter(rows));
            size_t i = 0;
            while (ok && (rows.size() - i >= kRowsAStatement || (last && i < rows.size()))) {
                const size_t n = rows.size() - i >= kRowsAStatement ? kRowsAStatement : 1;
                QSqlQuery& insert = n == 1 ? *single : *batch;
                for (size_t r = 0; r < n; ++r, ++i) {
                    const MemoEntry& e = rows[i];
                    const QString* name = names.constData() + r * kColumns;
                    insert.bindValue(name[0], e.fileName());
                    insert.bindValue(name[1], e.fileSize());
                    insert.bindValue(name[2], e.modified());
                    insert.bindValue(name[3], e.title().toString());
                    insert.bindValue(name[4], e.reading().toString());
                    insert.bindValue(name[5], e.time());
                    insert.bindValue(name[6], e.info().titled);
                    insert.bindValue(name[7], e.tagLines().toString());
                    insert.bindValue(name[8], e.note().toString());
                    insert.bindValue(name[9], e.starred());
                    insert.bindValue(name[10], e.search().toString());
                }
                ok = insert.exec();
            }
            rows.erase(rows.begin(), rows.begin() + qsizetype(i));
        }
        return ok;
    }

    const QString path_;
    const QStringList removed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<MemoEntry> queue_;
    bool closing_ = false;
    std::thread thread_;  // last: it starts when everything above is ready
};

// The tables as this version keeps them, in place of whatever was there. Each memo's text as
// the search folds it (store/LibraryQuery.h) is in SEARCH, and in a full-text table of its
// trigrams (FTS5), which triggers keep in step with the rows.
bool createTables(QSqlQuery& q)
{
    for (const char* sql : {
             "DROP TABLE IF EXISTS memo_text",
             "DROP TABLE IF EXISTS memo",
             "CREATE TABLE memo(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, size INTEGER, modified INTEGER, "
             "title TEXT, reading TEXT, time INTEGER, titled INTEGER, tags TEXT, note TEXT, starred INTEGER, "
             "search TEXT)",
             "CREATE VIRTUAL TABLE memo_text USING fts5(search, content='memo', content_rowid='id', "
             "tokenize='trigram', detail=none)",
         })
        if (!q.exec(QLatin1String(sql)))
            return false;
    for (const char* sql : kTriggers)
        if (!q.exec(QLatin1String(sql)))
            return false;
    return q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kIndexLayout));
}

// The names of the memos in the index of DB that meet QUERY; nothing when it cannot be asked.
// Words of three characters or more are looked up among the trigrams; shorter ones, which
// have none, are looked for in the text itself.
std::optional<std::vector<QString>> searchNames(const QSqlDatabase& db, const LibraryQuery& query)
{
    QStringList where;
    QVariantList values;
    QStringList phrases;
    auto quoted = [](const QList<uint>& letters) {
        const QString text = QString::fromUcs4(reinterpret_cast<const char32_t*>(letters.constData()), letters.size());
        return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    };
    for (const QString& word : query.words) {
        // The table keeps which memos hold each trigram, not where (detail=none: a third
        // smaller and quicker to build): a word is looked up as all of its trigrams, and the
        // memos that hold them are then checked for the word itself.
        if (const QList<uint> letters = word.toUcs4(); letters.size() >= 3)
            for (qsizetype i = 0; i + 3 <= letters.size(); ++i)
                phrases << quoted(letters.mid(i, 3));
        where << QStringLiteral("instr(search, ?) > 0");
        values << word;
    }
    if (!phrases.isEmpty()) {
        where.prepend(QStringLiteral("id IN (SELECT rowid FROM memo_text WHERE memo_text MATCH ?)"));
        values.prepend(phrases.join(QStringLiteral(" AND ")));
    }
    for (const QString& tag : query.tags) {
        where << QStringLiteral("instr(search, ?) > 0");
        values << QChar(kTagMark) + tag + QChar(kTagMark);
    }
    if (query.starred)
        where << QStringLiteral("starred = 1");
    for (const LibraryQuery::Days& days : query.days) {
        where << QStringLiteral("time >= ? AND time < ?");
        values << days.from << days.to;
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT name FROM memo");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    if (!q.prepare(sql))
        return std::nullopt;
    for (qsizetype i = 0; i < values.size(); ++i)
        q.bindValue(int(i), values[i]);
    if (!q.exec())
        return std::nullopt;
    std::vector<QString> names;
    while (q.next())
        names.push_back(q.value(0).toString());
    if (q.lastError().isValid())
        return std::nullopt;
    return names;
}

}  // namespace

struct LibraryIndex::Database {
    QString connection = newConnectionName();
    QSqlDatabase db;

    ~Database()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }
};

MemoEntry::MemoEntry(QStringView fileName, qint64 fileSize, qint64 modified, const MemoInfo& info, QStringView search)
{
    const QString tags = info.tags.join(QLatin1Char('\n'));
    Row row;
    row.fileName = fileName;
    row.title = info.title;
    row.reading = info.reading;
    row.tags = tags;
    row.note = info.note;
    row.search = search;
    row.fileSize = fileSize;
    row.modified = modified;
    row.time = info.time;
    row.pictureSize = info.size;
    row.titled = info.titled;
    row.starred = info.starred;
    *this = MemoEntry(row);
}

MemoEntry::MemoEntry(const Row& row)
    : titled_(row.titled), starred_(row.starred), fileSize_(row.fileSize), modified_(row.modified), time_(row.time),
      pictureSize_(row.pictureSize)
{
    const QStringView parts[PartCount] = {row.fileName, row.title, row.reading, row.tags, row.note, row.search};
    qsizetype length = 0;
    for (const QStringView& p : parts)
        length += p.size();
    texts_.reserve(length);  // exactly: no room left over in fifty thousand strings
    for (int p = 0; p < PartCount; ++p) {
        texts_ += parts[p];
        if (p < Search)
            ends_[size_t(p)] = quint32(texts_.size());
    }
}

QStringList MemoEntry::tags() const
{
    return hasTags() ? tagLines().toString().split(QLatin1Char('\n')) : QStringList();
}

MemoInfo MemoEntry::info() const
{
    MemoInfo info;
    info.title = title().toString();
    info.reading = reading().toString();
    info.time = time_;
    info.size = pictureSize_;
    info.titled = titled_;
    info.tags = tags();
    info.note = note().toString();
    info.starred = starred_;
    return info;
}

LibraryIndex::LibraryIndex(const QString& folder) : folder_(folder) {}

LibraryIndex::~LibraryIndex() = default;

void LibraryIndex::SetReadHook(std::function<void(const QString&)> hook)
{
    readHook() = std::move(hook);
}

bool LibraryIndex::Stored() const
{
    return db_ != nullptr;
}

std::optional<std::vector<QString>> LibraryIndex::Search(const LibraryQuery& query) const
{
    if (!db_ || !loaded_)
        return std::nullopt;
    return searchNames(db_->db, query);
}

struct LibrarySearch::Connection {
    QString name = newConnectionName();
    QSqlDatabase db;

    ~Connection()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

LibrarySearch::LibrarySearch(const QString& folder) : folder_(folder) {}

LibrarySearch::~LibrarySearch() = default;

bool LibrarySearch::open()
{
    if (connection_)
        return true;
    const QString path = IndexFileFor(folder_);
    struct stat st {};
    if (::stat(platform::EncodeFileName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    auto connection = std::make_unique<Connection>();
    connection->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->name);
    connection->db.setDatabaseName(path);
    connection->db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=200"));
    if (!connection->db.open())
        return false;
    QSqlQuery q(connection->db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next() || q.value(0).toInt() != kIndexLayout)
        return false;
    connection_ = std::move(connection);
    return true;
}

qint64 LibrarySearch::Count()
{
    if (!open())
        return -1;
    QSqlQuery q(connection_->db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM memo")) || !q.next()) {
        connection_.reset();
        return -1;
    }
    return q.value(0).toLongLong();
}

std::optional<std::vector<QString>> LibrarySearch::Names(const LibraryQuery& query)
{
    if (!open())
        return std::nullopt;
    std::optional<std::vector<QString>> names = searchNames(connection_->db, query);
    if (!names)
        connection_.reset();  // opened afresh next time (the index may have been made again)
    return names;
}

bool LibraryIndex::openIndex()
{
    struct stat st {};
    if (::stat(platform::EncodeFileName(folder_).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    std::variant<QString, IndexPlaceProblem> place = PrepareIndexPlace(folder_);
    if (const auto* problem = std::get_if<IndexPlaceProblem>(&place)) {
        problem_ = problem->text;
        return false;
    }
    problem_.clear();
    indexPath_ = std::get<QString>(place);
    const QString& path = indexPath_;
    for (const char* suffix : {"", "-wal", "-shm"})
        if (foreignThingAt(path + QLatin1String(suffix))) {
            problem_ = QStringLiteral("メモ一覧の索引 %1 の場所に、ファイルではないものがあります。\n"
                                      "一覧は使えますが、開くたびにすべてのメモのファイルを読み直します。")
                           .arg(path + QLatin1String(suffix));
            return false;
        }
    QString why;  // of the last attempt
    for (int attempt = 0; attempt < 2; ++attempt) {
        db_ = std::make_unique<Database>();
        db_->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), db_->connection);
        db_->db.setDatabaseName(path);
        // Another VEXLO may be writing: wait a moment for it rather than fail.
        db_->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        if (db_->db.open()) {
            QSqlQuery q(db_->db);
            bool ok = q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next() &&
                      q.value(0).toString() == QLatin1String("wal");
            // The index is only a copy: no flush at every commit, and a small page cache.
            ok = ok && q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
                 q.exec(QStringLiteral("PRAGMA cache_size=-512"));
            ok = ok && q.exec(QStringLiteral("PRAGMA user_version")) && q.next();
            if (ok && q.value(0).toInt() == kIndexLayout)
                return true;
            // A new file, or one of another layout: the table as this version keeps it.
            ok = ok && createTables(q);
            if (ok)
                return true;
            if (heldByAnother(q.lastError())) {
                // Another program has it: this run keeps its memos in memory only.
                db_.reset();
                return false;
            }
            why = q.lastError().text();
        } else if (heldByAnother(db_->db.lastError())) {
            db_.reset();
            return false;
        } else {
            why = db_->db.lastError().text();
        }
        // Not a database, damaged, or not writable: start from nothing once.
        dropIndexFiles();
    }
    problem_ = QStringLiteral("メモ一覧の索引 %1 を作れません。\n理由: %2\n"
                              "一覧は使えますが、開くたびにすべてのメモのファイルを読み直します。")
                   .arg(path, why.trimmed().isEmpty() ? QStringLiteral("データベースを書き込めません") : why.trimmed());
    return false;
}

void LibraryIndex::removeOldIndex()
{
    oldIndexGone_ = true;
    const QString path = folder_ + QLatin1Char('/') + QLatin1String(kOldIndexFileName);
    for (const char* suffix : {"-wal", "-shm", ""})
        if (!foreignThingAt(path + QLatin1String(suffix)))
            ::unlink(platform::EncodeFileName(path + QLatin1String(suffix)).constData());
}

void LibraryIndex::dropIndexFiles()
{
    const bool existed = db_ != nullptr;
    db_.reset();
    if (!existed)
        return;
    for (const char* suffix : {"", "-wal", "-shm"})
        if (!foreignThingAt(indexPath_ + QLatin1String(suffix)))
            QFile::remove(indexPath_ + QLatin1String(suffix));
}

bool LibraryIndex::loadRows()
{
    QSqlQuery q(db_->db);
    q.setForwardOnly(true);
    busyLoading_ = false;
    if (!q.exec(QStringLiteral(
            "SELECT name, size, modified, title, reading, time, titled, tags, note, starred, search FROM memo"))) {
        busyLoading_ = heldByAnother(q.lastError());
        return false;
    }
    std::vector<MemoEntry> rows;
    while (q.next()) {
        const QString name = q.value(0).toString();
        const QString title = q.value(3).toString();
        const QString reading = q.value(4).toString();
        const QString tags = q.value(7).toString();
        const QString note = q.value(8).toString();
        const QString search = q.value(10).toString();
        MemoEntry::Row row;
        row.fileName = name;
        row.title = title;
        row.reading = reading;
        row.tags = tags;
        row.note = note;
        row.search = search;
        row.fileSize = q.value(1).toLongLong();
        row.modified = q.value(2).toLongLong();
        row.time = q.value(5).toLongLong();
        row.titled = q.value(6).toBool();
        row.starred = q.value(9).toBool();
        rows.emplace_back(row);
    }
    if (q.lastError().isValid()) {
        busyLoading_ = heldByAnother(q.lastError());
        return false;
    }
    entries_ = std::make_shared<const MemoList>(std::move(rows));
    return true;
}

MemoEntries LibraryIndex::Refresh(bool* changed, const std::atomic<bool>* stop,
                                  const std::function<void(MemoEntries)>& meanwhile)
{
    if (changed)
        *changed = false;
    filesRead_ = 0;
    if (!loaded_) {
        loaded_ = true;
        unreported_ = true;
        if (openIndex() && !loadRows()) {
            if (busyLoading_) {
                db_.reset();  // held by another program: in memory only for this run
            } else {
                dropIndexFiles();
                openIndex();
            }
        }
    }
    Folder folder(folder_);
    const Listing listed = folder.memoNames();
    // Where each known memo is, and whether the folder still lists it.
    const MemoList& before = *entries_;
    const KnownNames known(before);
    std::vector<bool> listedAgain(before.size(), false);
    std::vector<size_t> toRead;  // positions in LISTED
    std::vector<qsizetype> same;  // the known memos that are as they were, by position in BEFORE
    same.reserve(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        // A stop is heard while the files are looked at too: fifty thousand take a while.
        if (i % 1024 == 1023 && stop && stop->load(std::memory_order_relaxed))
            return entries_;
        if (const qsizetype k = known.find(listed.view(i)); k >= 0) {
            const MemoEntry& entry = before[size_t(k)];
            listedAgain[size_t(k)] = true;
            struct stat st {};
            if (::fstatat(folder.fd(), listed.data(i), &st, 0) == 0 && S_ISREG(st.st_mode) &&
                qint64(st.st_size) == entry.fileSize() && modifiedNs(st) == entry.modified()) {
                same.push_back(k);
                continue;
            }
        }
        toRead.push_back(i);
    }
    // Nothing new, changed or gone: the list stays the one shared already, not copied.
    if (toRead.empty() && same.size() == before.size()) {
        if (changed)
            *changed = std::exchange(unreported_, false);
        return entries_;
    }
    // Room for every memo that can come, so that the lists handed over meanwhile (the first
    // part of this one) never move.
    const auto next = std::make_shared<std::vector<MemoEntry>>();
    next->reserve(same.size() + toRead.size());
    [[maybe_unused]] const size_t room = next->capacity();
    for (const qsizetype k : same)
        next->push_back(before[size_t(k)]);
    std::vector<qsizetype>().swap(same);
    // Gone, or no memo file any more (a changed one is written again as it is now).
    QStringList removed;
    for (size_t i = 0; i < before.size(); ++i)
        if (!listedAgain[i])
            removed << before[i].fileName();

    // The files to read in the order of the index's keys (the bytes of their UTF-8 names): the
    // table then grows only at its end, which makes a rebuild write far fewer pages.
    std::sort(toRead.begin(), toRead.end(), [&](size_t a, size_t b) { return listed.view(a) < listed.view(b); });
    std::optional<IndexWriter> writer;
    if (db_ && (!toRead.empty() || !removed.isEmpty()))
        writer.emplace(db_->db.databaseName(), removed);
    QByteArray head;
    int added = 0;  // new or changed memos
    const auto& hook = readHook();
    bool stopped = false;
    constexpr qint64 kMeanwhileMs = 250;
    QElapsedTimer sinceShown;
    sinceShown.start();
    const auto shown = [&] { meanwhile(std::make_shared<const MemoList>(next, next->size())); };
    if (meanwhile && unreported_ && !toRead.empty())
        shown();
    for (size_t i : toRead) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            stopped = true;
            break;
        }
        if (meanwhile && sinceShown.elapsed() >= kMeanwhileMs) {
            shown();
            sinceShown.restart();
        }
        const Listed file = listed.listed(i);
        if (hook)
            hook(file.name);
        ++filesRead_;
        if (std::optional<MemoEntry> entry = readEntry(folder.fd(), file, head)) {
            if (writer)
                writer->add(*entry);
            Q_ASSERT(next->size() < room);  // never beyond the room reserved: nothing moves
            next->push_back(std::move(*entry));
            ++added;
        } else if (known.find(listed.view(i)) >= 0) {
            removed << file.name;  // no memo file any more (its row goes when the index is next opened)
        }
    }
    if (writer)
        writer->finish();
    if (stopped)
        return entries_;
    if (db_ && !oldIndexGone_)
        removeOldIndex();  // the index is whole in its new place
    const bool differs = std::exchange(unreported_, false);
    entries_ = std::make_shared<const MemoList>(next, next->size());
    if (changed)
        *changed = differs || added > 0 || !removed.isEmpty();
    return entries_;
}
