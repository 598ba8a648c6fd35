// profile_bench [MB]: VEXLO.INI padded with MB megabytes of blank lines between its keys (16
// by default) — what start-up reads (the probe, the link settings, the frame bounds and a
// [Ports] lookup) and what the exit writes (every key), next to the same on the file
// without the padding. Prints the time and the growth of peak memory of each, and the file's
// size before and after the exit's writes (the blank lines stay as they are).
#include "link/Comenote.h"
#include "link/Config.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

long peakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void measure(const char* label, const QString& path, qint64 padding)
{
    const QByteArray keys = "[Comm]\nPort=COM1\nSpeed=115200\n";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(keys);
    const QByteArray blanks(1 << 20, '\n');
    for (qint64 written = 0; written < padding; written += blanks.size())
        file.write(blanks);
    file.write("[General]\nWidth=500\nHeight=300\n[Mode]\nZenToHan=FALSE\n");
    file.close();
    const qint64 before = QFileInfo(path).size();
    const std::string name = path.toStdString();

    const long peak0 = peakKb();
    QElapsedTimer timer;
    timer.start();
    TCommLink link;
    LoadLinkSettings(link, name);
    const FrameBounds bounds = ReadFrameBounds(name);
    ResolvePortName("COM1", name);
    const qint64 readMs = timer.elapsed();
    const long readKb = peakKb() - peak0;

    timer.restart();
    const bool stored = !StoreConfig(link, bounds, name).has_value();
    const qint64 writeMs = timer.elapsed();
    std::printf("%-9s start-up read %5lld ms, +%6ld KB peak; exit write %5lld ms (%s); file %lld -> %lld bytes; "
                "speed %u, width %d, ZenToHan %s\n",
                label, static_cast<long long>(readMs), readKb, static_cast<long long>(writeMs),
                stored ? "all keys" : "FAILED", static_cast<long long>(before),
                static_cast<long long>(QFileInfo(path).size()), link.Speed, bounds.width,
                link.ZenToHan ? "TRUE" : "FALSE");
}

}  // namespace

int main(int argc, char** argv)
{
    const qint64 megabytes = argc > 1 ? std::atoll(argv[1]) : 16;
    QTemporaryDir dir;
    measure("keys only", dir.filePath(QStringLiteral("plain.ini")), 0);
    measure("padded", dir.filePath(QStringLiteral("padded.ini")), megabytes << 20);
    return 0;
}
