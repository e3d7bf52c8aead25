#pragma once
// Notices the device's serial ports (USB 303a:4005) appearing and going away, through udev,
// and reports each on the main thread; a port named in TARV_SERIAL_PORT counts as one more.

#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;
struct udev;
struct udev_device;
struct udev_monitor;

namespace TarvUSB {

class DeviceWatcher {
public:
    struct Device {
        std::uint64_t registryID = 0;  // stable for the life of the port
        QString path;                  // the device node to open
        // Given in TARV_SERIAL_PORT: udev never says when it goes, so the port says it.
        bool namedByHand = false;
        friend bool operator==(const Device&, const Device&) = default;
    };

    std::function<void(const Device&)> onAttach;
    std::function<void(const Device&)> onDetach;

    DeviceWatcher();
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Reports the ports present now, then follows the changes. Idempotent; never fails:
    // without udev it watches nothing.
    void start();

    // The reported port of this id, while it has not gone away.
    std::optional<Device> device(std::uint64_t registryID) const;

    // Stops listing a port named by hand whose node went away, without reporting a detach:
    // the one who saw it go has dealt with it.
    void forget(std::uint64_t registryID);

    // The id a port at this sysfs path is reported with.
    static std::uint64_t idForSysPath(const QByteArray& sysPath);

private:
    void receiveEvents();
    void considerAttached(udev_device* device);
    void considerDetached(udev_device* device);
    void report(const Device& device);

    bool started = false;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    QHash<std::uint64_t, Device> devices;
};

}  // namespace TarvUSB
