#include "link/ConsoleHost.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the self-pipe of the host that is running; the handler only writes a byte.
volatile std::sig_atomic_t interruptFd = -1;

void onSigint(int)
{
    const int fd = interruptFd;
    if (fd >= 0) {
        const char c = 'c';
        (void)!::write(fd, &c, 1);
    }
}

}  // namespace

TConsoleHost::TConsoleHost(std::FILE* out, QObject* parent)
    : QObject(parent), out_(out ? out : stderr), outIsTerminal_(::isatty(::fileno(out_)) != 0)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [] { TimerTick(); });
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) == 0) {
        interrupt_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        connect(interrupt_.get(), &QSocketNotifier::activated, this, &TConsoleHost::onInterrupt);
    }
    if (!ExchangeHost())
        SetExchangeHost(this);
}

TConsoleHost::~TConsoleHost()
{
    if (ExchangeHost() == this)
        SetExchangeHost(nullptr);
    interrupt_.reset();
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void TConsoleHost::SetStatusText(const QString& text)
{
    status_ = text;
    std::fprintf(out_, "%s\n", text.trimmed().toUtf8().constData());
    std::fflush(out_);
}

void TConsoleHost::SetProgress(int done, int total)
{
    if (total <= 0) {
        if (shownPercent_ >= 0)
            std::fputc('\n', out_);
        std::fflush(out_);
        shownPercent_ = -1;
        return;
    }
    if (!outIsTerminal_)
        return;
    done = std::clamp(done, 0, total);
    const int percent = static_cast<int>(100LL * done / total);
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    std::fprintf(out_, "\r%d / %d バイト (%d%%)", done, total, percent);
    std::fflush(out_);
}

void TConsoleHost::StartTimer(int ms) { timer_.start(ms); }

void TConsoleHost::StopTimer() { timer_.stop(); }

bool TConsoleHost::TimerActive() const { return timer_.isActive(); }

void TConsoleHost::Run()
{
    ExchangeOk = false;
    struct sigaction action {}, previous {};
    action.sa_handler = onSigint;
    sigemptyset(&action.sa_mask);
    const bool caught = pipe_[1] >= 0 && ::sigaction(SIGINT, &action, &previous) == 0;
    if (caught)
        interruptFd = pipe_[1];

    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;

    if (caught) {
        interruptFd = -1;
        ::sigaction(SIGINT, &previous, nullptr);
    }
}

void TConsoleHost::Close()
{
    if (loop_)
        loop_->exit(0);
}

void TConsoleHost::DispatchPending() { QCoreApplication::processEvents(); }

void TConsoleHost::WaitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

void TConsoleHost::Cancel()
{
    CancelExchange();
    Close();
}

void TConsoleHost::onInterrupt()
{
    char buf[16];
    while (::read(pipe_[0], buf, sizeof buf) > 0) {
    }
    interrupted_ = true;
    if (loop_)
        Cancel();
}
