// The serial devices of a made-up device tree: what is listed, by which name, described how,
// and the watch that tells when an adapter comes or goes.
#include "support/FakeSerialTree.h"

#include "platform/SerialDeviceWatcher.h"
#include "platform/SerialDevices.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

struct Listed {
    std::string path;  // below the tree
    std::string node;
    std::string description;
};

TEST(SerialDevices, ListsEachDeviceOnceByItsStableNameWithWhatItIs)
{
    FakeSerialTree tree;
    tree.plug(kCh340);
    tree.plug(kFtdi);
    tree.plug({"ttyACM0", "", "2341", "0043", "Arduino (www.arduino.cc)", "", 4});  // no by-id name
    tree.uart("ttyS0", 4);
    tree.uart("ttyS1", 0);  // nothing behind it
    tree.uart("ttyS10", 4);
    tree.uart("ttyS2", 4);
    // A by-id name left behind by an adapter that is gone, and a plain file among the nodes.
    std::filesystem::create_symlink("../../ttyUSB7", tree.root() / "dev/serial/by-id/usb-gone-if00-port0");
    tree.write("dev/ttyUSB9", "not a device");

    const std::vector<platform::SerialDevice> found = platform::ListSerialDevices();
    const std::vector<Listed> expected{
        {"dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "dev/ttyUSB1", "USB Serial"},
        {"dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "dev/ttyUSB0", "FTDI FT232R USB UART"},
        {"dev/ttyACM0", "dev/ttyACM0", "Arduino (www.arduino.cc)"},
        {"dev/ttyS0", "dev/ttyS0", ""},
        {"dev/ttyS2", "dev/ttyS2", ""},
        {"dev/ttyS10", "dev/ttyS10", ""},
    };
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(found[i].Path, (tree.root() / expected[i].path).string()) << i;
        EXPECT_EQ(found[i].Node, (tree.root() / expected[i].node).string()) << i;
        EXPECT_EQ(found[i].Description(), expected[i].description) << i;
    }
    EXPECT_EQ(found[1].Summary(), found[1].Path + " (FTDI FT232R USB UART, ttyUSB0)");
    // The adapter is found by any of its names.
    EXPECT_EQ(platform::FindSerialDevice(found, (tree.root() / "dev/ttyUSB0").string()), &found[1]);
    EXPECT_EQ(platform::FindSerialDevice(found, (tree.root() / "dev/ttyUSB7").string()), nullptr);
}

// An adapter plugged in and pulled out is told without anyone asking, once per change.
TEST(SerialDevices, TheWatchTellsWhenAnAdapterComesAndGoes)
{
    static int argc = 1;
    static char name[] = "serial_devices_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    FakeSerialTree tree;
    platform::SerialDeviceWatcher watcher;
    int changes = 0;
    QObject::connect(&watcher, &platform::SerialDeviceWatcher::changed, [&] { ++changes; });
    watcher.start();
    // Synchronisation only: a burst of changes may be told more than once on a slow machine.
    auto pump = [&](int ms, bool untilChanged) {
        QElapsedTimer waited;
        waited.start();
        while (!(untilChanged && changes > 0) && waited.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };
    auto waitForChange = [&] {
        pump(5000, true);
        pump(300, false);
        const bool told = changes > 0;
        changes = 0;
        return told;
    };

    tree.plug(kFtdi);  // the first adapter brings dev/serial/by-id with it
    ASSERT_TRUE(waitForChange());
    EXPECT_EQ(platform::ListSerialDevices().size(), 1u);
    // udev gives the by-id name of the second adapter a moment after the kernel's node.
    FakeAdapter late = kCh340;
    late.byId.clear();
    tree.plug(late);
    ASSERT_TRUE(waitForChange());
    std::filesystem::create_symlink("../../ttyUSB1", tree.root() / "dev/serial/by-id" / kCh340.byId);
    ASSERT_TRUE(waitForChange()) << "a change in the by-id folder alone is seen";
    EXPECT_EQ(platform::ListSerialDevices().at(0).Path, tree.path("dev/serial/by-id/" + kCh340.byId).toStdString());

    tree.unplug(kFtdi);
    tree.unplug(kCh340);
    ASSERT_TRUE(waitForChange());
    EXPECT_TRUE(platform::ListSerialDevices().empty());
    tree.plug(kFtdi);  // by-id comes back after it was removed
    ASSERT_TRUE(waitForChange());

    watcher.stop();
    tree.unplug(kFtdi);
    pump(500, false);
    EXPECT_EQ(changes, 0) << "nothing after stop()";
}

}  // namespace
