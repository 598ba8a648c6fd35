// inbox_bench [--memos N] [--rounds R] [--library M] [--folder DIR]: receiving into the
// library, what it costs the program beside the disk:
//
//   store    the inbox taking exchanges of N received memos (3 by default, as the device's
//            samples) into a library of M memos (2000): the thread's CPU time a memo, from the
//            memo drawn to its file on disk and its exchange's note written / the same memos'
//            bytes (encoded beforehand) written by platform::WriteNewFile, the durable write
//            every memo needs (two fsyncs: the file, the folder), into a folder of as many
//            memos                                                              target <= 1.5
//
// R rounds (20), the two sides in turn, each into a folder of its own; medians of the rounds,
// and the spread of the rounds' ratios. The folders are made in DIR (by default a temporary
// folder in the working directory: a disk, not a tmpfs, where fsync costs nothing).
#include "store/Inbox.h"
#include "store/MemoContent.h"
#include "store/MemoStore.h"
#include "support/LibraryMemos.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec t {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A memo as the exchange hands it over: drawn, with a title of four device codes and a reading.
TReceivedMemo receivedMemo(int i)
{
    TReceivedMemo memo;
    memo.Picture.Image = HandwrittenMemo(i);
    memo.Picture.ImageWidth = 124;
    memo.Picture.ImageHeight = 121;
    const char title[] = {'\x24', '\x22', '\x24', char(0x23 + i % 40), '\x25', '\x2a', '\x24', '\x37'};
    memo.TitleCodes.assign(title, sizeof title);
    memo.ReadingBytes = "\xb6\xb2\xb7\xde";
    return memo;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int perExchange = 3, rounds = 20, library = 2000;
    QString where = QDir::currentPath();
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--memos"))
            perExchange = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--library"))
            library = std::max(0, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folder"))
            where = args[i + 1];
    }
    QTemporaryDir temp(where + QStringLiteral("/.inbox-bench-XXXXXX"));
    if (!temp.isValid()) {
        std::fprintf(stderr, "inbox_bench: cannot make a folder in %s\n", qPrintable(where));
        return 1;
    }
    // The notes of the exchanges go beside the folders, not into the user's data folder.
    qputenv("XDG_DATA_HOME", (temp.path() + QStringLiteral("/data")).toUtf8());
    const QString ours = temp.path() + QStringLiteral("/library");
    const QString floor = temp.path() + QStringLiteral("/floor");
    std::printf("a library of %d memos in %s, exchanges of %d memos ...\n", library, qPrintable(ours), perExchange);
    std::fflush(stdout);
    TMemoStore store(ours);
    if (store.Open() || platform::MakeFolders(floor)) {
        std::fprintf(stderr, "inbox_bench: cannot make the folders\n");
        return 1;
    }
    for (int i = 0; i < library; ++i) {
        TestMemo m;
        m.title = QStringLiteral("memo %1").arg(i);
        m.arrived = QDateTime::currentDateTime().addSecs(-86400 - i * 60);
        m.picture = HandwrittenMemo(100000 + i);
        WriteTestMemo(ours, m);
        WriteTestMemo(floor, m);  // both folders alike
    }

    std::vector<double> oursMs, floorMs;
    int memo = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<TReceivedMemo> memos;
        std::vector<QByteArray> bytes;
        for (int i = 0; i < perExchange; ++i, ++memo) {
            memos.push_back(receivedMemo(memo));
            bytes.push_back(EncodeMemoPng(memos.back().Picture.Image, MemoMetaOf(memos.back(), QDateTime::currentDateTime())));
        }
        double start = threadCpuMs();
        for (int i = 0; i < perExchange; ++i) {
            const QString name = QStringLiteral("floor %1-%2.png").arg(round).arg(i);
            platform::WriteNewFile(floor, [&](int n) { return n == 1 ? name : name + QString::number(n); }, 1, bytes[size_t(i)]);
        }
        floorMs.push_back((threadCpuMs() - start) / perExchange);

        start = threadCpuMs();
        {
            TInbox inbox(store);
            const TReceiveSink sink = inbox.Sink();
            QString error;
            for (TReceivedMemo& m : memos) {
                if (!sink.Arrived(m, error)) {
                    std::fprintf(stderr, "inbox_bench: %s\n", qPrintable(error));
                    return 1;
                }
                sink.Delivered(m);
            }
            inbox.ExchangeEnded(true);
        }
        oursMs.push_back((threadCpuMs() - start) / perExchange);
    }
    std::vector<double> ratios;
    for (size_t i = 0; i < oursMs.size(); ++i)
        ratios.push_back(oursMs[i] / floorMs[i]);
    std::sort(ratios.begin(), ratios.end());
    const double ratio = median(oursMs) / median(floorMs);
    std::printf("store    %6.3f ms CPU a memo vs %6.3f ms for the durable write alone   ratio %.2f (rounds %.2f-%.2f)"
                "  (target <= 1.5: %s)\n",
                median(oursMs), median(floorMs), ratio, ratios.front(), ratios[ratios.size() - 1],
                ratio <= 1.5 ? "met" : "NOT MET");
    // Where the inbox's own time goes, a memo (medians of as many calls as there were memos).
    auto part = [&](const char* what, const std::function<void()>& work) {
        std::vector<double> times;
        for (int i = 0; i < memo; ++i) {
            const double begin = threadCpuMs();
            work();
            times.push_back(threadCpuMs() - begin);
        }
        std::printf("  %-40s %6.3f ms\n", what, median(times));
    };
    const TReceivedMemo sample = receivedMemo(7);
    const TMemoMeta meta = MemoMetaOf(sample, QDateTime::currentDateTime());
    part("what the device said (MemoMetaOf)", [&] { MemoMetaOf(sample, QDateTime::currentDateTime()); });
    part("content key", [&] { MemoContentKey(sample.Picture.Image, meta.TitleCodes, meta.ReadingCodes); });
    part("PNG with its text (EncodeMemoPng)", [&] { EncodeMemoPng(sample.Picture.Image, meta); });
    part("file name", [&] { MemoFileName(meta.Arrived, meta.Title, 1); });
    qint64 bytes = 0;
    for (int i = 0; i < 100; ++i) {
        const TReceivedMemo m = receivedMemo(i);
        bytes += EncodeMemoPng(m.Picture.Image, MemoMetaOf(m, QDateTime::currentDateTime())).size();
    }
    std::printf("  a memo file is %lld bytes on average\n", bytes / 100);
    return 0;
}
