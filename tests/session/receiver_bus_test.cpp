// The port lent over the session bus: the receiver answers only once it has let go of the
// port, takes it back when the borrower returns it or goes away, and a borrower without a
// receiver opens the port as always.
#include "session/ReceiverBus.h"

#include "support/PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <functional>

namespace {

QDBusConnection Bus(const QString& name)
{
    SessionTestApp();
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

bool WaitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}  // namespace

TEST(ReceiverBus, TheBorrowerGetsThePortOnlyAfterTheExchangeInProgress)
{
    session::ReceiverService receiver(Bus("receiver-1"));
    ASSERT_TRUE(receiver.Register());
    receiver.SetPort("COM1");
    receiver.SetState("receiving");
    // VEXLO asks from a process of its own: here another thread, answered by this one's loop.
    auto status = QtConcurrent::run([] { return session::ReceiverStatusLine(Bus("status-1")); });
    ASSERT_TRUE(WaitFor([&] { return status.isFinished(); }));
    EXPECT_EQ(status.result(), "自動受信中 (COM1)");

    QSignalSpy lendAsked(&receiver, &session::ReceiverService::LendRequested);
    QSignalSpy returned(&receiver, &session::ReceiverService::PortReturned);
    std::atomic<bool> gotPort = false, gaveBack = false;
    QString port;
    auto borrower = QtConcurrent::run([&] {
        auto lease = session::PortLease::Borrow(Bus("borrower-1"));
        if (!lease)
            return;
        port = lease->Port();
        gotPort = true;
        // the borrower's own exchange runs here
        lease.reset();
        gaveBack = true;
    });
    ASSERT_TRUE(WaitFor([&] { return lendAsked.count() == 1; }));
    // The exchange in progress goes on: no answer yet.
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(gotPort);
    EXPECT_FALSE(receiver.Lent());

    receiver.SetState("waiting");  // the exchange ended
    receiver.PortReleased();
    ASSERT_TRUE(WaitFor([&] { return borrower.isFinished(); }));
    EXPECT_TRUE(gotPort);
    EXPECT_EQ(port, "COM1");
    EXPECT_TRUE(gaveBack);
    EXPECT_EQ(returned.count(), 1);
    EXPECT_FALSE(receiver.Lent());
    EXPECT_EQ(receiver.State(), "waiting");
}

TEST(ReceiverBus, ABorrowerThatGoesAwayGivesThePortBack)
{
    session::ReceiverService receiver(Bus("receiver-2"));
    ASSERT_TRUE(receiver.Register());
    receiver.SetPort("COM2");
    QSignalSpy returned(&receiver, &session::ReceiverService::PortReturned);
    QObject::connect(&receiver, &session::ReceiverService::LendRequested, &receiver,
                     [&] { receiver.PortReleased(); });
    // A borrower that ends without giving the port back, as a killed program does: dbus-send
    // asks for the port, prints the answer and is gone.
    QProcess borrower;
    borrower.start("dbus-send", {"--session", "--print-reply", "--dest=org.example.vexlo.Receiver",
                                 "/org/example/vexlo/Receiver", "org.example.vexlo.Receiver1.Lend"});
    ASSERT_TRUE(WaitFor([&] { return borrower.state() == QProcess::NotRunning; }));
    EXPECT_TRUE(borrower.readAllStandardOutput().contains("string \"COM2\"")) << borrower.readAllStandardError().toStdString();
    ASSERT_TRUE(WaitFor([&] { return returned.count() == 1; })) << "the port is taken back";
    EXPECT_FALSE(receiver.Lent());
}

TEST(ReceiverBus, ABorrowerThatGaveUpWaitingIsNotLentThePortLater)
{
    session::ReceiverService receiver(Bus("receiver-5"));
    ASSERT_TRUE(receiver.Register());
    receiver.SetPort("COM1");
    receiver.SetState("receiving");
    QSignalSpy lendAsked(&receiver, &session::ReceiverService::LendRequested);
    // The exchange outlasts the borrower's patience: it gives up (its program goes on running).
    auto borrower = QtConcurrent::run([] { return session::PortLease::Borrow(Bus("borrower-5"), 300).has_value(); });
    ASSERT_TRUE(WaitFor([&] { return borrower.isFinished(); }));
    EXPECT_FALSE(borrower.result());
    EXPECT_EQ(lendAsked.count(), 1);

    receiver.SetState("waiting");  // the exchange ended
    EXPECT_FALSE(receiver.PortReleased()) << "nobody waits for the port any more";
    EXPECT_FALSE(receiver.Lent());
    EXPECT_EQ(receiver.State(), "waiting");
}

TEST(ReceiverBus, WithoutAReceiverNothingIsBorrowed)
{
    const auto lease = session::PortLease::Borrow(Bus("lonely"), 1000);
    EXPECT_FALSE(lease.has_value());
    EXPECT_EQ(session::ReceiverStatusLine(Bus("lonely")), "");
    // And a second receiver in the same session does not start.
    session::ReceiverService first(Bus("receiver-3")), second(Bus("receiver-4"));
    EXPECT_TRUE(first.Register());
    QString why;
    EXPECT_FALSE(second.Register(&why));
    EXPECT_FALSE(why.isEmpty());
}
