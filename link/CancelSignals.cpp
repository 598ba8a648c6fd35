#include "link/CancelSignals.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the pipe of the catcher that is in force; the handler only writes to it.
volatile std::sig_atomic_t signalFd = -1;

void onSignal(int signal)
{
    const int saved = errno;
    const int fd = signalFd;
    if (fd >= 0) {
        const unsigned char c = static_cast<unsigned char>(signal);
        (void)!::write(fd, &c, 1);
    }
    errno = saved;
}

}  // namespace

std::vector<int> TCancelSignals::All() { return {SIGINT, SIGTERM, SIGHUP}; }

TCancelSignals::TCancelSignals(const std::vector<int>& which, std::function<void(int)> onSignalFn)
    : onSignal_(std::move(onSignalFn))
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { takeSignals(); });
    previousFd_ = signalFd;
    signalFd = pipe_[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : which) {
        struct sigaction before {};
        if (::sigaction(signal, &action, &before) == 0)
            previous_.emplace_back(signal, before);
    }
}

TCancelSignals::~TCancelSignals()
{
    // The catcher before this one gets the signals from now on; only then is this one's pipe
    // read a last time, so that no signal falls between the two.
    if (notifier_)
        signalFd = previousFd_;
    for (auto it = previous_.rbegin(); it != previous_.rend(); ++it)
        ::sigaction(it->first, &it->second, nullptr);
    if (notifier_)
        takeSignals();  // one that came as the exchange was ending still counts
    notifier_.reset();
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

void TCancelSignals::takeSignals()
{
    unsigned char buf[16];
    ssize_t n = 0;
    while ((n = ::read(pipe_[0], buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            if (onSignal_)
                onSignal_(buf[i]);
}
