#include "link/ConsoleHost.h"

#include "link/CancelSignals.h"

#include <QCoreApplication>

#include <algorithm>
#include <unistd.h>


TConsoleHost::TConsoleHost(std::FILE* out, QObject* parent)
    : QObject(parent), out_(out ? out : stderr), outIsTerminal_(::isatty(::fileno(out_)) != 0)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [] { TimerTick(); });
    if (!ExchangeHost())
        SetExchangeHost(this);
}

TConsoleHost::~TConsoleHost()
{
    if (ExchangeHost() == this)
        SetExchangeHost(nullptr);
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
    SetExchangeResult(false);
    const TCancelSignals catcher(TCancelSignals::All(), [this](int) { onInterrupt(); });
    if (interrupted_) {
        CancelExchange();  // the signal came while the exchange was being set up
        return;
    }
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
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
    interrupted_ = true;
    if (loop_)
        Cancel();
}
