// What an exchange costs while it waits: CPU time over wall time of exchanges on a
// pseudo-terminal, measured with getrusage. Busy polling would show about 100 %.
//
//   idle_bench [seconds]     (default 5)
//
// 1. silent line: a receive waits for the device's carriage return that never comes;
// 2. ticking: a send waits for DC1, calling again after every 10 ticks of 5 ms;
// 3. at line speed: the device sends hexadecimal pairs paced at 19200 bit/s.
#include "link/Comenote.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeHost.h"

#include <QCoreApplication>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
           + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int pairsRead = 0;
int pairsWanted = 0;

void WaitForCarriageReturn(TCommLink& link, bool& done)
{
    done = false;
    if (ReadByte(link) == 13)
        link.Step = ExchangeStep::RecvAwaitLf;
}

void WaitForDc1WithTicks(TCommLink& link, bool& done)
{
    done = false;
    if (link.Step == ExchangeStep::SendCallCr || link.Ticks > 10) {
        link.Ticks = 0;
        StartTimer(link.Ticks);
        link.Step = ExchangeStep::SendAwaitDc1;
    }
    (void)ReadByte(link);
}

void ReadPairs(TCommLink& link, bool& done)
{
    done = false;
    if (ReadHexByte(link) < 0)
        return;
    if (++pairsRead == pairsWanted)
        EndExchange(true);
}

struct Result {
    double wall;
    double cpu;
};

// Runs STEP on the open link until it ends itself or SECONDS have passed.
Result measure(TCommLink& link, TStepHandler step, double seconds)
{
    link.Step = step == WaitForDc1WithTicks ? ExchangeStep::SendCallCr : ExchangeStep::RecvAwaitCr;
    HookStep(step, link);
    QTimer::singleShot(int(seconds * 1000), [] {
        CancelExchange();
        CloseExchangeHost();
    });
    const double w0 = wallSeconds(), c0 = cpuSeconds();
    RunExchangeHost();
    const Result r{wallSeconds() - w0, cpuSeconds() - c0};
    UnhookStep();
    StopTimer(link.Ticks);
    return r;
}

void report(const char* name, const Result& r, const char* extra = "")
{
    std::printf("%-34s wall %6.2f s  cpu %7.4f s  cpu/wall %6.3f %%%s\n", name, r.wall, r.cpu,
                100.0 * r.cpu / r.wall, extra);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    std::FILE* quiet = std::fopen("/dev/null", "w");
    TConsoleHost host(quiet);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    TCommLink link;
    SetLinkDefaults(link);
    link.Speed = 19200;
    link.PortName = ptsname(master);
    if (!OpenLink(link)) {
        std::fprintf(stderr, "cannot open %s\n", link.PortName.c_str());
        return 1;
    }

    report("silent line, waiting for CR", measure(link, WaitForCarriageReturn, seconds));
    report("silent line, ticks to DC1 timeouts", measure(link, WaitForDc1WithTicks, seconds));

    // 19200 bit/s with 8N1 is 1920 bytes a second: one pair every 1.04 ms, sent in
    // 10 ms bursts as a UART's FIFO would deliver them.
    pairsWanted = int(seconds * 960);
    pairsRead = 0;
    std::atomic<bool> stop{false};
    std::thread device([&] {
        auto next = std::chrono::steady_clock::now();
        for (int sent = 0; sent < pairsWanted && !stop;) {
            std::string burst;
            for (int i = 0; i < 10 && sent < pairsWanted; ++i, ++sent)
                burst += "5A";
            (void)!write(master, burst.data(), burst.size());
            next += std::chrono::microseconds(10417);
            std::this_thread::sleep_until(next);
        }
    });
    const Result paced = measure(link, ReadPairs, seconds * 3);
    stop = true;
    device.join();
    char extra[96];
    std::snprintf(extra, sizeof extra, "  (%d of %d pairs, %.0f bytes/s)", pairsRead, pairsWanted,
                  2.0 * pairsRead / paced.wall);
    report("19200 bit/s of hex pairs", paced, extra);

    ClosePort(link);
    close(master);
    std::fclose(quiet);
    return 0;
}
