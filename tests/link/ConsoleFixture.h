// The unit tests' set-up: an event loop without a display, a console host whose status
// texts go to a temporary file, and a record whose port is the slave of a fresh pty pair.
#pragma once

#include "LinkFixture.h"

#include "link/ConsoleHost.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// Ends the running exchange host after MS milliseconds, unless the test is over first: a guard
// against a hang that must not reach into the next test's exchange.
class CloseHostAfter {
public:
    explicit CloseHostAfter(int ms)
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [] { CloseExchangeHost(); });
        timer_.start(ms);
    }

private:
    QTimer timer_;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "link_tests";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
        statusOut_ = std::tmpfile();
        host_ = std::make_unique<TConsoleHost>(statusOut_);
        ASSERT_EQ(ExchangeHost(), host_.get());
        ASSERT_FALSE(pty_.slavePath.empty());
        SetLine(link_, pty_.slavePath);
    }

    void TearDown() override
    {
        UnhookStep();
        ClosePort(link_);
        host_.reset();
        std::fclose(statusOut_);
    }

    std::string statusOutput() const
    {
        std::fflush(statusOut_);
        std::rewind(statusOut_);
        std::string text;
        for (int c; (c = std::fgetc(statusOut_)) != EOF;)
            text.push_back(char(c));
        return text;
    }

    // The device sends BYTES; returns once the port has them all.
    void deviceSends(std::string_view bytes)
    {
        const int before = BytesWaiting(link_);
        pty_.send(bytes);
        ASSERT_TRUE(eventually([&] { return BytesWaiting(link_) >= before + int(bytes.size()); }));
    }

    // In the data phase the device says XOFF, then a marker: once the marker can be read the
    // line has taken the XOFF (which is never read as data).
    void deviceSaysXoff()
    {
        pty_.send("\x13M");
        ASSERT_TRUE(eventually([&] { return BytesWaiting(link_) >= 1; }));
        ASSERT_EQ(BytesWaiting(link_), 1);
        ASSERT_EQ(ReadByte(link_), 'M');
    }

    PtyPair pty_;
    TCommLink link_;
    std::FILE* statusOut_ = nullptr;
    std::unique_ptr<TConsoleHost> host_;
};
