// Shared set-up of the link tests: an application object, a console host, and CommLink-like
// record whose port is the slave of a fresh pseudo-terminal pair.
#pragma once

#include "PtyPair.h"

#include "link/CommLink.h"
#include "link/Comenote.h"
#include "link/ConsoleHost.h"
#include "link/ExchangeHost.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

// The unit tests need an event loop but no display.
inline void EnsureCoreApp()
{
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "link_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

inline void SetLine(TCommLink& link, const std::string& port)
{
    link.PortName = port;
    link.Speed = 9600;
    link.WordLen = 8;
    link.Parity = 0;
    link.StopBits = 0;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApp();
        statusOut_ = std::tmpfile();
        host_ = std::make_unique<TConsoleHost>(statusOut_);
        ASSERT_EQ(ExchangeHost(), host_.get());
        ASSERT_TRUE(pty_.ok());
        SetLine(link_, pty_.slavePath());
    }

    void TearDown() override
    {
        UnhookStep();
        ClosePort(link_);
        host_.reset();
        if (statusOut_)
            std::fclose(statusOut_);
    }

    // Everything the host printed so far.
    std::string statusOutput() const
    {
        std::fflush(statusOut_);
        std::rewind(statusOut_);
        std::string text;
        for (int c; (c = std::fgetc(statusOut_)) != EOF;)
            text.push_back(static_cast<char>(c));
        return text;
    }

    // Sends BYTES from the device and waits until the port has them all.
    void deviceSends(std::string_view bytes)
    {
        const int before = BytesWaiting(link_);
        pty_.send(bytes);
        ASSERT_TRUE(eventually([&] { return BytesWaiting(link_) >= before + int(bytes.size()); }));
    }

    // The device says XOFF (in the data phase), followed by a marker; once the marker can be
    // read, the line has taken the XOFF. Reads the marker.
    void deviceSaysXoff()
    {
        pty_.send("\x13M");
        ASSERT_TRUE(eventually([&] { return BytesWaiting(link_) >= 1; }));
        ASSERT_EQ(BytesWaiting(link_), 1) << "XOFF is taken by the line, not read as data";
        ASSERT_EQ(ReadByte(link_), 'M');
    }

    PtyPair pty_;
    TCommLink link_;
    std::FILE* statusOut_ = nullptr;
    std::unique_ptr<TConsoleHost> host_;
};
