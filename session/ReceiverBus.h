// The receiver on the session bus: it holds the port while it waits for the device, and lends
// it to VEXLO and vexlo-cli when they send or receive themselves.
//
// Service org.example.vexlo.Receiver, object /org/example/vexlo/Receiver, interface
// org.example.vexlo.Receiver1:
//   Lend() -> s port      the receiver ends no exchange: it answers once an exchange in progress
//                         is over and it has closed the port and its lock; the answer is the
//                         port as Port() names it, which the borrower may now open. Error
//                         org.example.vexlo.Receiver1.Busy while another program has it.
//   Return()              the borrower is done; the receiver takes the port again. From a
//                         program whose Lend has not been answered: that request is withdrawn.
//   State() -> s          "waiting" (for the device's call), "receiving", "lent", "absent" (the
//                         adapter is not plugged in), "stopped".
//   Port() -> s           the port the receiver serves.
//   signal StateChanged(s state)
//   signal MemoStored(s path, s title)
// A borrower that ends without Return (killed) is noticed by its bus name going away: the
// receiver then takes the port back at once.
#pragma once

#include "link/CommLink.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <optional>

class QDBusServiceWatcher;

namespace session {

inline constexpr char kReceiverService[] = "org.example.vexlo.Receiver";
inline constexpr char kReceiverPath[] = "/org/example/vexlo/Receiver";
inline constexpr char kReceiverInterface[] = "org.example.vexlo.Receiver1";

// The receiver's side.
class ReceiverService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.vexlo.Receiver1")
public:
    explicit ReceiverService(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~ReceiverService() override;

    // Publishes the object and claims the name; false (with the reason in ERROR) when another
    // receiver holds it or there is no bus.
    bool Register(QString* error = nullptr);

    // What the receiver is doing; "lent" is set by the lending itself.
    void SetState(const QString& state);
    void SetPort(const QString& port) { port_ = port; }
    void AnnounceStored(const QString& path, const QString& title);

    // The receiver has closed the port a Lend asked for: the borrower gets its answer. False
    // when nobody is to have it after all (the request was withdrawn, or its sender is gone):
    // the receiver keeps the port.
    bool PortReleased();
    bool Lent() const { return borrower_.has_value(); }

public slots:
    Q_SCRIPTABLE QString Lend(const QDBusMessage& message);
    Q_SCRIPTABLE void Return(const QDBusMessage& message);
    Q_SCRIPTABLE QString State() const { return state_; }
    Q_SCRIPTABLE QString Port() const { return port_; }

signals:
    Q_SCRIPTABLE void StateChanged(const QString& state);
    Q_SCRIPTABLE void MemoStored(const QString& path, const QString& title);
    // A borrower asked for the port: close it (after the exchange in progress) and call
    // PortReleased.
    void LendRequested();
    // The borrower gave the port back, or went away without doing so: take it again. (Return
    // from a program whose Lend still waits withdraws that request.)
    void PortReturned();

private:
    void takeBack();

    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QString state_ = QStringLiteral("waiting");
    QString stateBeforeLending_;
    QString port_;
    std::optional<QDBusMessage> pendingLend_;  // answered by PortReleased
    std::optional<QString> borrower_;          // the bus name that has the port
};

// The borrower's side: while a PortLease lives, the receiver (if one runs) has let go of the
// port; the lease gives it back when it ends.
class PortLease {
public:
    // Asks the receiver for the port, waiting for an exchange it is in the middle of (up to
    // WAITMS; a program with windows keeps them painted meanwhile). nullopt when no receiver
    // runs (the port is not the receiver's to lend) or it did not answer; then the caller opens
    // the port as always.
    static std::optional<PortLease> Borrow(QDBusConnection bus = QDBusConnection::sessionBus(), int waitMs = 120000);
    // The same, only when the receiver serves the device LINK is about to open.
    static std::optional<PortLease> BorrowFor(const TCommLink& link, QDBusConnection bus = QDBusConnection::sessionBus());

    PortLease(PortLease&& other) noexcept;
    PortLease& operator=(PortLease&&) = delete;
    ~PortLease();

    // The port the receiver served.
    QString Port() const { return port_; }

private:
    PortLease(QDBusConnection bus, QString port) : bus_(std::move(bus)), port_(std::move(port)) {}

    QDBusConnection bus_;
    QString port_;
    bool active_ = true;
};

// The port the receiver serves ("COM1", or a device path); empty when none runs.
QString ReceiverPort(QDBusConnection bus = QDBusConnection::sessionBus());

// The receiver's state as a line for VEXLO's status bar: "自動受信中 (COM1)" while a receiver
// runs, empty otherwise.
QString ReceiverStatusLine(QDBusConnection bus = QDBusConnection::sessionBus());

}  // namespace session
