// library_bench [--memos N] [--folder DIR]: the memo library with N memos (10 000 by default),
// each with tags and most with a note, measured against what any list of as many items costs,
// in the same run:
//
//   rebuild  building the index from the files (no index file) / listing the folder and
//            reading every file once                                        target <= 2
//   open     the library window with a current index, shown and painted / a plain QListView
//            over N prepared strings, shown and painted                       target <= 1.2
//   open/floor  the same opening / what it cannot do without: listing the folder with every
//            file's size and time, and reading every row of the index          target <= 1.5
//   filter   a keystroke in the search box until the list is painted again (one, two and
//            three letters: the last is looked up in the index's full-text table) / the same
//            keystroke in a QLineEdit driving a QSortFilterProxyModel over the plain list
//                                                                             target <= 1.2
//   tag      a tag given to 1 000 memos at once, the files rewritten durably and the index
//            brought up to date / the same files rewritten as they are through QSaveFile
//                                                                             target <= 1.5
//   memory   peak resident memory of a run that rebuilds, opens, scrolls through every memo
//            and filters, with N memos / with 10                              target <= 1.3
//
// Times are medians of several rounds, the two sides taking turns; the files are in the page
// cache for both sides (they are read once before anything is timed). The folder is made in a
// temporary folder unless --folder names one (memos already there are used as they are).
#include "platform/DurableFile.h"
#include "store/IndexPlace.h"
#include "store/LibraryIndex.h"
#include "store/MemoNotes.h"
#include "library/LibraryPanel.h"
#include "support/LibraryMemos.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr QSize kWindow(900, 700);

// Titles and readings as people give them to memos.
const std::pair<const char*, const char*> kWords[] = {
    {"会議", "ｶｲｷﾞ"},     {"買い物", "ｶｲﾓﾉ"},   {"電話", "ﾃﾞﾝﾜ"},       {"メモ", "ﾒﾓ"},
    {"地図", "ﾁｽﾞ"},      {"予定", "ﾖﾃｲ"},      {"アイデア", "ｱｲﾃﾞｱ"},   {"宿題", "ｼｭｸﾀﾞｲ"},
    {"旅行", "ﾘｮｺｳ"},     {"Shopping", "ｼｮｯﾋﾟﾝｸﾞ"}, {"レシピ", "ﾚｼﾋﾟ"}, {"住所", "ｼﾞｭｳｼｮ"},
};

const char* const kTags[] = {"仕事", "家", "旅行", "アイデア", "買い物", "学校", "病院"};
const char* const kNotes[] = {"来週までに確認すること", "カタログを送る", "駅前で待ち合わせ", "予算の件", ""};

// The tags and the note of memo I: one or two tags, most with a note.
QList<QPair<QString, QString>> notesNumber(int i)
{
    QString tags = QString::fromUtf8(kTags[i % std::size(kTags)]);
    if (i % 3 == 0)
        tags += QLatin1Char('\n') + QString::fromUtf8(kTags[(i / 3) % std::size(kTags)]);
    QList<QPair<QString, QString>> texts = {{QStringLiteral("Tags"), tags}};
    if (const QString note = QString::fromUtf8(kNotes[i % std::size(kNotes)]); !note.isEmpty())
        texts.append({QStringLiteral("Note"), note + QStringLiteral(" %1").arg(i)});
    return texts;
}

TestMemo memoNumber(int i)
{
    const auto& [title, reading] = kWords[i % std::size(kWords)];
    TestMemo m;
    m.title = QStringLiteral("%1 %2").arg(QString::fromUtf8(title)).arg(i);
    m.reading = QString::fromUtf8(reading) + QString::number(i);
    m.arrived = QDateTime(QDate(2026, 1, 1), QTime(9, 0)).addSecs(qint64(i) * 61);
    m.picture = HandwrittenMemo(i);
    return m;
}

int countMemos(const QString& folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files).size());
}

void makeLibrary(const QString& folder, int count)
{
    QDir().mkpath(folder);
    for (int i = countMemos(folder); i < count; ++i) {
        const TestMemo m = memoNumber(i);
        QFile file(folder + QLatin1Char('/') + MemoFileName(m.arrived, m.title, 1));
        if (file.open(QIODevice::NewOnly))
            file.write(*WithPngText(MemoPngBytes(m), notesNumber(i)));
    }
}

void dropIndex(const QString& folder)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(IndexFileFor(folder) + QLatin1String(suffix));
}

// What reading the memos once costs: the folder listed, every file opened, read and closed.
qint64 readAllOnce(const QString& folder)
{
    qint64 bytes = 0;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    std::vector<char> buffer(1 << 16);
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const int fd = ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_CLOEXEC);
        for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
            bytes += n;
        ::close(fd);
    }
    ::closedir(dir);
    return bytes;
}

// The floor of opening the library: the folder listed with each file's size and modification
// time, and every row of the index read.
qint64 listAndReadIndex(const QString& folder)
{
    qint64 seen = 0;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0)
            seen += st.st_size + st.st_mtim.tv_nsec;
    }
    ::closedir(dir);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("floor"));
        db.setDatabaseName(IndexFileFor(folder));
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT name, size, modified, title, reading, time, titled, tags, note, starred, search FROM memo"));
        std::vector<std::array<QVariant, 11>> rows;
        while (q.next()) {
            std::array<QVariant, 11>& row = rows.emplace_back();
            for (int c = 0; c < int(row.size()); ++c)
                row[size_t(c)] = q.value(c);
        }
        seen += qint64(rows.size());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("floor"));
    return seen;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) : widget_(w) { w->installEventFilter(this); }
    int paints = 0;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == widget_ && e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    // Runs the event loop until the widget has been painted once more than AFTER.
    void waitBeyond(int after)
    {
        while (paints <= after)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        QCoreApplication::processEvents();  // the paint's own follow-ups
    }

private:
    QWidget* widget_;
};

QStringList plainItems(int count)
{
    QStringList items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        const TestMemo m = memoNumber(i);
        // The reading prepared in full-width katakana, so that what is typed finds it.
        QString notes;
        for (const auto& [key, text] : notesNumber(i))
            notes += QLatin1Char(' ') + text;
        items << m.title + QLatin1Char(' ') + m.reading.normalized(QString::NormalizationForm_KC) +
                     QLatin1Char(' ') + m.arrived.toString(Qt::ISODate) + notes;
    }
    return items;
}

// The plain side: a QListView over prepared strings, optionally behind a filter box.
struct PlainList {
    QWidget window;
    QStringListModel model;
    QSortFilterProxyModel proxy;
    QLineEdit* filter = new QLineEdit(&window);
    QListView* view = new QListView(&window);

    explicit PlainList(const QStringList& items)
    {
        window.resize(kWindow);
        filter->setGeometry(0, 0, kWindow.width(), 24);
        view->setGeometry(0, 24, kWindow.width(), kWindow.height() - 24);
        model.setStringList(items);
        proxy.setSourceModel(&model);
        QObject::connect(filter, &QLineEdit::textChanged, &proxy, &QSortFilterProxyModel::setFilterFixedString);
    }
};

// MEMOS: how many memos the folder holds (-1: wait for every look at it to end).
std::unique_ptr<TLibraryPanel> openLibrary(const QString& folder, int memos = -1)
{
    auto panel = std::make_unique<TLibraryPanel>(folder);
    panel->resize(kWindow);
    // The folder is read beside the window: measured until its memos are in the list. (A look
    // that the folder watcher asks for meanwhile, as the index's own log file appears in the
    // folder, is not waited for; closing the window stops it.)
    while (panel->refreshing() && (memos < 0 || panel->memoModel->totalCount() < memos))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return panel;
}

// Runs KEYS one by one; the time of each until everything it set off is done (the list laid
// out and painted again where it changed).
std::vector<double> typeInto(const std::vector<std::function<void()>>& keys)
{
    std::vector<double> times;
    for (const auto& key : keys)
        times.push_back(msOf([&] {
            key();
            for (int pass = 0; pass < 4; ++pass)
                QCoreApplication::processEvents();
        }));
    return times;
}

// Key presses carrying TEXT, as an input method delivers kana.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }
}

std::vector<std::function<void()>> keystrokes(QLineEdit*& edit)
{
    // Katakana typed against half-width readings, then taken back: six keystrokes a round.
    auto type = [&edit](const QString& text) { return [&edit, text] { typeText(edit, text); }; };
    auto back = [&edit] { QTest::keyClick(edit, Qt::Key_Backspace); };
    return {type(QStringLiteral("カ")), type(QStringLiteral("イ")), type(QStringLiteral("ギ")), back, back, back};
}

long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// The child run of the memory measure: rebuild, open, scroll through all, filter.
int peakRun(const QString& folder)
{
    dropIndex(folder);
    auto panel = openLibrary(folder);
    PaintCounter counter(panel->memoList->viewport());
    panel->show();
    counter.waitBeyond(0);
    QScrollBar* bar = panel->memoList->verticalScrollBar();
    for (int value = bar->pageStep(); value < bar->maximum() + bar->pageStep(); value += bar->pageStep()) {
        const int before = counter.paints;
        bar->setValue(value);
        counter.waitBeyond(before);
    }
    const int painted = counter.paints;
    typeText(panel->filterEdit, QStringLiteral("メモ"));
    QCoreApplication::processEvents();
    std::printf("%ld %d\n", peakResidentKb(), painted);
    return 0;
}

long peakOf(const QString& folder)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), folder});
    child.waitForFinished(-1);
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    std::printf("memory run over %s: %s pages painted\n", qPrintable(folder), out.value(1).constData());
    return out.value(0).toLong();
}

void report(const char* what, double ours, double plain, double target, const char* unit, const char* spread = "")
{
    const double ratio = ours / plain;
    std::printf("%-8s %10.1f %s vs %10.1f %s   ratio %.2f%s  (target <= %.1f: %s)\n", what, ours, unit, plain, unit,
                ratio, spread, target, ratio <= target ? "met" : "NOT MET");
}

// The medians' ratio, and the spread of the ratios of the rounds (each round's two sides were
// measured one after the other).
void reportRounds(const char* what, const std::vector<double>& ours, const std::vector<double>& plain, double target)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < plain.size(); ++i)
        ratios.push_back(ours[i] / plain[i]);
    std::sort(ratios.begin(), ratios.end());
    char spread[64];
    std::snprintf(spread, sizeof spread, " (rounds %.2f-%.2f)", ratios.front(), ratios.back());
    report(what, median(ours), median(plain), target, "ms", spread);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--peak"))
        return peakRun(args[2]);
    int count = 10000;
    QString folder;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--memos"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--folder"))
            folder = args[i + 1];
    }
    QTemporaryDir temp;
    // The indexes on the same disk as the memos, as before they moved to the cache, and gone
    // with the run (the --peak runs inherit it).
    qputenv("XDG_CACHE_HOME", QFile::encodeName(temp.path() + QStringLiteral("/cache")));
    if (folder.isEmpty())
        folder = temp.path() + QStringLiteral("/memos");
    std::printf("making %d memos in %s ...\n", count, qPrintable(folder));
    std::fflush(stdout);
    makeLibrary(folder, count);
    const QString small = temp.path() + QStringLiteral("/ten");
    makeLibrary(small, 10);
    readAllOnce(folder);  // into the page cache

    // Rebuild against reading once.
    std::vector<double> rebuild, reading;
    for (int round = 0; round < 5; ++round) {
        reading.push_back(msOf([&] { readAllOnce(folder); }));
        dropIndex(folder);
        // Until the memos are there and the index holds them; closing the database (which
        // folds its log into the file) is left out.
        std::optional<LibraryIndex> index;
        rebuild.push_back(msOf([&] {
            index.emplace(folder);
            index->Refresh();
        }));
    }

    // Opening with a current index against a plain list.
    const QStringList items = plainItems(count);
    const int present = countMemos(folder);
    std::vector<double> open, openPlain, openFloor;
    for (int round = 0; round < 7; ++round) {
        openFloor.push_back(msOf([&] { listAndReadIndex(folder); }));
        openPlain.push_back(msOf([&] {
            PlainList plain(items);
            plain.view->setModel(&plain.model);
            PaintCounter painted(plain.view->viewport());
            plain.window.show();
            painted.waitBeyond(0);
        }));
        open.push_back(msOf([&] {
            auto panel = openLibrary(folder, present);
            PaintCounter painted(panel->memoList->viewport());
            panel->show();
            painted.waitBeyond(0);
        }));
    }

    // A keystroke in the filter box.
    std::vector<double> filter, filterPlain;
    {
        PlainList plain(items);
        plain.view->setModel(&plain.proxy);
        plain.window.show();
        auto panel = openLibrary(folder);
        panel->show();
        for (int pass = 0; pass < 4; ++pass)
            QCoreApplication::processEvents();
        QLineEdit* edit = nullptr;
        const auto keys = keystrokes(edit);
        for (int round = 0; round < 5; ++round) {
            edit = plain.filter;
            for (double t : typeInto(keys))
                filterPlain.push_back(t);
            edit = panel->filterEdit;
            for (double t : typeInto(keys))
                filter.push_back(t);
        }
    }

    // A tag given to 1 000 memos against rewriting them as they are.
    std::vector<double> tag, tagPlain;
    {
        QStringList paths;
        for (const QString& name : QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
            paths << folder + QLatin1Char('/') + name;
        paths = paths.mid(0, 1000);
        LibraryIndex index(folder);
        index.Refresh();
        for (int round = 0; round < 3; ++round) {
            tagPlain.push_back(msOf([&] {
                for (const QString& path : paths) {
                    QFile in(path);
                    in.open(QIODevice::ReadOnly);
                    const QByteArray bytes = in.readAll();
                    QSaveFile out(path);
                    out.open(QIODevice::WriteOnly);
                    out.write(bytes);
                    out.commit();
                }
            }));
            index.Refresh();
            // A tag the memos of a folder kept from an earlier run cannot carry yet.
            const QString name = QStringLiteral("一括%1-%2").arg(QCoreApplication::applicationPid()).arg(round);
            tag.push_back(msOf([&] {
                // As the window and vexlo-cli do: the folder flushed once for the thousand.
                platform::FolderFlushes flushes;
                for (const QString& path : paths)
                    ChangeMemoNotes(path, {{name}, {}, {}, {}}, nullptr, &flushes);
                flushes.Flush();
                index.Refresh();
            }));
            if (index.FilesRead() != int(paths.size()))
                std::printf("tag: the index read %d files, not %lld\n", index.FilesRead(), qlonglong(paths.size()));
        }
    }

    const long peakMany = peakOf(folder);
    const long peakFew = peakOf(small);

    std::printf("\n%d memos\n", count);
    reportRounds("rebuild", rebuild, reading, 2.0);
    reportRounds("open", open, openPlain, 1.2);
    reportRounds("open/flr", open, openFloor, 1.5);
    reportRounds("filter", filter, filterPlain, 1.2);
    reportRounds("tag", tag, tagPlain, 1.5);
    report("memory", double(peakMany) / 1024, double(peakFew) / 1024, 1.3, "MB");
    return 0;
}
