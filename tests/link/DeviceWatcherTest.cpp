// DeviceWatcher against a umockdev test bed: sysfs, the device nodes and the udev monitor are
// the bed's, so ports can be plugged and unplugged at will.

// GLib's headers name struct members "signals", which Qt defines as a keyword: GLib first.
#include <umockdev.h>

#include "link/DeviceWatcher.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

using namespace TarvUSB;
using Device = DeviceWatcher::Device;

namespace {

bool underUmockdev() { return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("libumockdev-preload")); }

class DeviceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!underUmockdev())
            GTEST_SKIP() << "needs umockdev-wrapper (LD_PRELOAD of libumockdev-preload); CTest runs it so";
        qunsetenv("TARV_SERIAL_PORT");
        bed = umockdev_testbed_new();
        watcher.onAttach = [this](const Device& d) { attached.append(d); };
        watcher.onDetach = [this](const Device& d) { detached.append(d); };
    }
    void TearDown() override
    {
        qunsetenv("TARV_SERIAL_PORT");
        if (bed)
            g_object_unref(bed);
    }

    // A USB device with one interface; returns the interface's sysfs path.
    QByteArray addUsb(const char* name, const char* vendor, const char* product)
    {
        gchar* usb = umockdev_testbed_add_device(bed, "usb", name, nullptr, "idVendor", vendor, "idProduct", product,
                                                 nullptr, "DEVTYPE", "usb_device", nullptr);
        const QByteArray interfaceName = QByteArray(name) + ":1.0";
        gchar* interface = umockdev_testbed_add_device(bed, "usb", interfaceName.constData(), usb, nullptr, "DEVTYPE",
                                                       "usb_interface", nullptr);
        const QByteArray path(interface);
        g_free(usb);
        g_free(interface);
        return path;
    }
    QByteArray addTty(const char* name, const QByteArray& parent)
    {
        const QByteArray node = QByteArray("/dev/") + name;
        gchar* tty = umockdev_testbed_add_device(bed, "tty", name, parent.constData(), nullptr, "DEVNAME",
                                                 node.constData(), nullptr);
        const QByteArray path(tty);
        g_free(tty);
        return path;
    }
    QByteArray plug(const char* name, const QByteArray& parent)
    {
        const QByteArray path = addTty(name, parent);
        umockdev_testbed_uevent(bed, path.constData(), "add");
        return path;
    }
    void unplug(const QByteArray& sysPath)
    {
        umockdev_testbed_uevent(bed, sysPath.constData(), "remove");
        umockdev_testbed_remove_device(bed, sysPath.constData());
    }
    // Lets the watcher take every pending udev event.
    void settle(int expectedAttached, int expectedDetached)
    {
        EXPECT_TRUE(waitUntil([&] { return attached.size() >= expectedAttached && detached.size() >= expectedDetached; }));
        QCoreApplication::processEvents();
    }

    UMockdevTestbed* bed = nullptr;
    DeviceWatcher watcher;
    QList<Device> attached;
    QList<Device> detached;
};

}  // namespace

TEST_F(DeviceWatcherTest, PortPlugsInAndOut)
{
    watcher.start();
    EXPECT_TRUE(attached.isEmpty());

    const QByteArray tty = plug("ttyACM0", addUsb("1-1", "303a", "4005"));
    settle(1, 0);
    ASSERT_EQ(attached.size(), 1);
    EXPECT_EQ(attached[0].path, QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(attached[0].registryID, DeviceWatcher::idForSysPath(tty));
    EXPECT_EQ(watcher.device(attached[0].registryID), attached[0]);

    // A change of the same port is no new attachment.
    umockdev_testbed_uevent(bed, tty.constData(), "change");
    unplug(tty);
    settle(1, 1);
    EXPECT_EQ(attached.size(), 1);
    EXPECT_EQ(detached, attached);
    EXPECT_FALSE(watcher.device(attached[0].registryID)) << "a port that went away is no longer listed";
}

TEST_F(DeviceWatcherTest, OtherProductsAndVendorsAreIgnored)
{
    watcher.start();
    const QByteArray otherProduct = plug("ttyACM0", addUsb("1-1", "303a", "1001"));
    const QByteArray otherVendor = plug("ttyACM1", addUsb("1-2", "1a86", "4005"));
    const QByteArray ours = plug("ttyACM2", addUsb("1-3", "303A", "4005"));  // the case of hex digits varies
    settle(1, 0);
    ASSERT_EQ(attached.size(), 1);
    EXPECT_EQ(attached[0].path, QStringLiteral("/dev/ttyACM2"));

    unplug(otherProduct);
    unplug(otherVendor);
    unplug(ours);
    settle(1, 1);
    EXPECT_EQ(detached, attached);
}

TEST_F(DeviceWatcherTest, TwoPortsOfOneDeviceAreTwoDevices)
{
    watcher.start();
    const QByteArray usb = addUsb("1-1", "303a", "4005");
    const QByteArray first = plug("ttyACM0", usb);
    const QByteArray second = plug("ttyACM1", usb);
    settle(2, 0);
    ASSERT_EQ(attached.size(), 2);
    EXPECT_NE(attached[0].registryID, attached[1].registryID);

    unplug(second);
    unplug(first);
    settle(2, 2);
    EXPECT_EQ(detached, (QList<Device>{attached[1], attached[0]}));
}

TEST_F(DeviceWatcherTest, PortsPresentBeforeStartAreReportedOnceAndStartIsIdempotent)
{
    const QByteArray tty = addTty("ttyACM3", addUsb("2-1", "303a", "4005"));
    addTty("ttyS0", QByteArray());  // a plain serial port without USB
    watcher.start();
    ASSERT_EQ(attached.size(), 1);  // reported within start, on the calling thread
    EXPECT_EQ(attached[0], (Device{DeviceWatcher::idForSysPath(tty), QStringLiteral("/dev/ttyACM3")}));

    watcher.start();
    QCoreApplication::processEvents();
    EXPECT_EQ(attached.size(), 1);

    unplug(tty);
    settle(1, 1);
    EXPECT_EQ(detached, attached);
}

TEST_F(DeviceWatcherTest, PortFromTheEnvironmentIsOneMoreDevice)
{
    qputenv("TARV_SERIAL_PORT", "/dev/pts/42");
    addTty("ttyACM0", addUsb("1-1", "303a", "4005"));
    watcher.start();
    ASSERT_EQ(attached.size(), 2);
    EXPECT_EQ(attached[1].path, QStringLiteral("/dev/pts/42"));
    EXPECT_NE(attached[1].registryID, attached[0].registryID);
    EXPECT_EQ(watcher.device(attached[1].registryID), attached[1]) << "listed for good: udev never removes it";
    watcher.start();
    EXPECT_EQ(attached.size(), 2);
}
