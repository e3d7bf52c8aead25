#include "link/DeviceWatcher.h"

#include "link/Frame.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <charconv>
#include <libudev.h>

namespace TarvUSB {

namespace {

// USB ids appear in sysfs as four hexadecimal digits ("303a").
bool sysattrEquals(udev_device* device, const char* name, std::uint16_t wanted)
{
    const char* text = ::udev_device_get_sysattr_value(device, name);
    if (!text)
        return false;
    const std::string_view view(text);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value, 16);
    return ec == std::errc() && end == view.data() + view.size() && value == wanted;
}

bool isTarvPort(udev_device* tty)
{
    udev_device* usb = ::udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    return usb && sysattrEquals(usb, "idVendor", vendorID) && sysattrEquals(usb, "idProduct", productID);
}

bool isTty(udev_device* device)
{
    const char* subsystem = ::udev_device_get_subsystem(device);
    return subsystem && std::string_view(subsystem) == "tty";
}

}  // namespace

DeviceWatcher::DeviceWatcher() = default;

DeviceWatcher::~DeviceWatcher()
{
    notifier.reset();
    if (monitor)
        ::udev_monitor_unref(monitor);
    if (context)
        ::udev_unref(context);
}

std::uint64_t DeviceWatcher::idForSysPath(const QByteArray& sysPath)
{
    // FNV-1a: the sysfs path names one port for as long as it exists, and is still known
    // when the port's removal is announced.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : sysPath) {
        hash ^= std::uint8_t(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::optional<DeviceWatcher::Device> DeviceWatcher::device(std::uint64_t registryID) const
{
    const auto found = devices.constFind(registryID);
    if (found == devices.cend())
        return std::nullopt;
    return found.value();
}

void DeviceWatcher::forget(std::uint64_t registryID) { devices.remove(registryID); }

void DeviceWatcher::start()
{
    if (started)
        return;
    started = true;

    context = ::udev_new();
    if (context) {
        // The monitor listens before the enumeration, so that a port plugged in between is not
        // missed; one seen twice is reported once.
        monitor = ::udev_monitor_new_from_netlink(context, "udev");
        if (monitor && ::udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) >= 0
            && ::udev_monitor_enable_receiving(monitor) >= 0) {
            notifier = std::make_unique<QSocketNotifier>(::udev_monitor_get_fd(monitor), QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [this] { receiveEvents(); });
        } else if (monitor) {
            ::udev_monitor_unref(monitor);
            monitor = nullptr;
        }

        if (udev_enumerate* enumerate = ::udev_enumerate_new(context)) {
            ::udev_enumerate_add_match_subsystem(enumerate, "tty");
            ::udev_enumerate_scan_devices(enumerate);
            udev_list_entry* entry = nullptr;
            udev_list_entry_foreach(entry, ::udev_enumerate_get_list_entry(enumerate))
            {
                if (udev_device* device = ::udev_device_new_from_syspath(context, ::udev_list_entry_get_name(entry))) {
                    considerAttached(device);
                    ::udev_device_unref(device);
                }
            }
            ::udev_enumerate_unref(enumerate);
        }
    }

    // A port given by hand (the fake device, firmware work) is never matched by udev.
    const QString manual = qEnvironmentVariable("TARV_SERIAL_PORT");
    if (!manual.isEmpty())
        report(Device{idForSysPath("manual:" + manual.toLocal8Bit()), manual, true});
}

void DeviceWatcher::receiveEvents()
{
    // Drain everything pending; the descriptor is non-blocking.
    while (udev_device* device = ::udev_monitor_receive_device(monitor)) {
        const char* action = ::udev_device_get_action(device);
        if (isTty(device) && action) {
            const std::string_view what(action);
            if (what == "remove")
                considerDetached(device);
            else if (what == "add" || what == "change" || what == "bind")
                considerAttached(device);
        }
        ::udev_device_unref(device);
    }
}

void DeviceWatcher::considerAttached(udev_device* device)
{
    const char* node = ::udev_device_get_devnode(device);
    const char* sysPath = ::udev_device_get_syspath(device);
    if (!node || !sysPath || !isTarvPort(device))
        return;
    const std::uint64_t id = idForSysPath(QByteArray(sysPath));
    if (devices.contains(id))
        return;
    report(Device{id, QString::fromLocal8Bit(node)});
}

void DeviceWatcher::considerDetached(udev_device* device)
{
    const char* sysPath = ::udev_device_get_syspath(device);
    if (!sysPath)
        return;
    const auto found = devices.find(idForSysPath(QByteArray(sysPath)));
    if (found == devices.end())
        return;
    const Device gone = found.value();
    devices.erase(found);
    if (onDetach)
        onDetach(gone);
}

void DeviceWatcher::report(const Device& device)
{
    devices.insert(device.registryID, device);
    if (onAttach)
        onAttach(device);
}

}  // namespace TarvUSB
