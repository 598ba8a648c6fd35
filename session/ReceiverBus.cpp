#include "session/ReceiverBus.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>

#include "link/Comenote.h"

namespace session {

ReceiverService::ReceiverService(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
        if (borrower_ && *borrower_ == name)
            takeBack();  // killed, or ended without giving the port back
        else if (pendingLend_ && pendingLend_->service() == name)
            pendingLend_.reset();  // gone while it waited: nobody is given the port
    });
}

ReceiverService::~ReceiverService()
{
    if (bus_.isConnected()) {
        bus_.unregisterService(kReceiverService);
        bus_.unregisterObject(kReceiverPath);
    }
}

bool ReceiverService::Register(QString* error)
{
    if (!bus_.isConnected()) {
        if (error)
            *error = QStringLiteral("no session bus");
        return false;
    }
    if (!bus_.registerObject(kReceiverPath, this,
                             QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals)) {
        if (error)
            *error = bus_.lastError().message();
        return false;
    }
    const auto claimed = bus_.interface()->registerService(kReceiverService, QDBusConnectionInterface::DontQueueService,
                                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!claimed.isValid() || claimed.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus_.unregisterObject(kReceiverPath);
        if (error)
            *error = QStringLiteral("another receiver runs in this session");
        return false;
    }
    return true;
}

void ReceiverService::SetState(const QString& state)
{
    if (borrower_) {
        stateBeforeLending_ = state;  // shown again when the port comes back
        return;
    }
    if (state == state_)
        return;
    state_ = state;
    emit StateChanged(state_);
}

void ReceiverService::AnnounceStored(const QString& path, const QString& title)
{
    emit MemoStored(path, title);
}

QString ReceiverService::Lend(const QDBusMessage& message)
{
    if (borrower_ || pendingLend_) {
        bus_.send(message.createErrorReply(QStringLiteral("org.example.vexlo.Receiver1.Busy"),
                                           QStringLiteral("the port is lent to another program")));
        message.setDelayedReply(true);
        return {};
    }
    message.setDelayedReply(true);
    pendingLend_ = message;
    // Watched from now on, not from the answer: the bus must know to tell us of its end
    // before it can have the port, or a borrower quick to go could be missed.
    watcher_->setWatchedServices({message.service()});
    emit LendRequested();
    return {};
}

bool ReceiverService::PortReleased()
{
    if (!pendingLend_)
        return false;
    const QDBusMessage request = *pendingLend_;
    pendingLend_.reset();
    borrower_ = request.service();
    // A borrower that went away while it waited is not given the port.
    if (!bus_.interface()->isServiceRegistered(*borrower_).value()) {
        takeBack();
        return false;
    }
    stateBeforeLending_ = state_;
    state_ = QStringLiteral("lent");
    emit StateChanged(state_);
    bus_.send(request.createReply(port_));
    return true;
}

void ReceiverService::Return(const QDBusMessage& message)
{
    if (borrower_ && message.service() == *borrower_)
        takeBack();
    else if (pendingLend_ && message.service() == pendingLend_->service()) {
        pendingLend_.reset();  // it stopped waiting: nobody is given the port
        watcher_->setWatchedServices({});
    }
}

void ReceiverService::takeBack()
{
    borrower_.reset();
    watcher_->setWatchedServices({});
    state_ = stateBeforeLending_.isEmpty() ? QStringLiteral("waiting") : stateBeforeLending_;
    emit StateChanged(state_);
    emit PortReturned();
}

std::optional<PortLease> PortLease::Borrow(QDBusConnection bus, int waitMs)
{
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kReceiverService).value())
        return std::nullopt;
    QDBusMessage lend = QDBusMessage::createMethodCall(kReceiverService, kReceiverPath, kReceiverInterface,
                                                       QStringLiteral("Lend"));
    const QDBusReply<QString> port = bus.call(lend, QDBus::BlockWithGui, waitMs);
    if (!port.isValid()) {
        // Given up (the receiver's exchange outlasted WAITMS): the request is withdrawn, or the
        // port would later be lent to a program that no longer waits for it.
        QDBusMessage withdraw = QDBusMessage::createMethodCall(kReceiverService, kReceiverPath, kReceiverInterface,
                                                               QStringLiteral("Return"));
        bus.call(withdraw, QDBus::Block, 2000);
        return std::nullopt;
    }
    return PortLease(bus, port.value());
}

PortLease::PortLease(PortLease&& other) noexcept
    : bus_(other.bus_), port_(std::move(other.port_)), active_(std::exchange(other.active_, false))
{
}

PortLease::~PortLease()
{
    if (!active_)
        return;
    QDBusMessage giveBack = QDBusMessage::createMethodCall(kReceiverService, kReceiverPath, kReceiverInterface,
                                                           QStringLiteral("Return"));
    bus_.call(giveBack, QDBus::Block, 5000);
}

std::optional<PortLease> PortLease::BorrowFor(const TCommLink& link, QDBusConnection bus)
{
    const QString theirs = ReceiverPort(bus);
    if (theirs.isEmpty() || ResolvePortName(theirs.toStdString()) != ResolveLinkPort(link))
        return std::nullopt;  // no receiver, or one on another line
    return Borrow(bus);
}

QString ReceiverPort(QDBusConnection bus)
{
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kReceiverService).value())
        return {};
    QDBusMessage port = QDBusMessage::createMethodCall(kReceiverService, kReceiverPath, kReceiverInterface,
                                                       QStringLiteral("Port"));
    const QDBusReply<QString> reply = bus.call(port, QDBus::Block, 2000);
    return reply.isValid() ? reply.value() : QString();
}

QString ReceiverStatusLine(QDBusConnection bus)
{
    const QString port = ReceiverPort(bus);
    return port.isEmpty() ? QString() : QStringLiteral("自動受信中 (%1)").arg(port);
}

}  // namespace session
