// Notification toasts: the "notify" command, the card over the page, its timer, and its
// touch area.

#include "hub/DeviceManager.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

using namespace TarvUSB;

namespace {

constexpr double shortestToastSeconds = 1;
constexpr double longestToastSeconds = 600;

NotifyChannel::Reply refusal(const QString& message)
{
    return NotifyChannel::Reply{{QStringLiteral("ok"), false}, {QStringLiteral("message"), message}};
}

}  // namespace

NotifyChannel::Reply DeviceManager::runNotifyCommand(const NotifyChannel::Request& request)
{
    if (!m_state.isConnected())
        return refusal(QStringLiteral("Tarv is not connected to the device"));
    const std::optional<NotificationToast> toast = NotificationToast::fromText(request.value(QStringLiteral("text")).toString());
    if (!toast)
        return refusal(QStringLiteral("nothing in that text can be drawn by the device's font"));
    const double requested = request.value(QStringLiteral("seconds")).toDouble();
    // Written so that a seconds value that is no number shows the shortest toast.
    const double seconds = requested > shortestToastSeconds ? std::min(requested, longestToastSeconds) : shortestToastSeconds;

    m_toast = toast;
    sendToast(*toast);
    log(LogEntry::Direction::system, QStringLiteral("Notification for %1 s: %2")
                                         .arg(QString::number(std::llround(seconds)), toast->lines.join(u' ')));
    toastTimer(seconds);
    return NotifyChannel::Reply{{QStringLiteral("ok"), true}};
}

void DeviceManager::sendToast(const NotificationToast& toast)
{
    if (!m_serialPort || !m_deviceHoldsScreen)
        return;
    // A card on the device is replaced where it stands: the last child of the page.
    const int insertIndex = std::max(m_toastIsOnDevice ? m_pageChildCount - 1 : m_pageChildCount, 0);
    const QList<PatchOp> ops = NotificationToast::patchOps(insertIndex, m_toastIsOnDevice, toast);
    sendDynamicUI({Frame{takeNextSequence(), PatchPayload{ops}}});
}

void DeviceManager::dismissToast()
{
    cancelToastTimer();
    if (!m_toast)
        return;
    m_toast.reset();
    if (!m_toastIsOnDevice || !m_serialPort)
        return;
    sendDynamicUI({Frame{takeNextSequence(), PatchPayload{{PatchOp::remove(NotificationToast::cardNode)}}}});
}

void DeviceManager::toastTimer(double seconds)
{
    cancelToastTimer();
    m_toastDue = m_clock.monotonic() +
                 std::chrono::duration_cast<HubClock::MonotonicTime::duration>(std::chrono::duration<double>(seconds));
    wakeAt(m_toastTimer, *m_toastDue, &DeviceManager::endToastWhenDue);
}

void DeviceManager::endToastWhenDue()
{
    if (!m_toastDue)
        return;
    if (m_clock.monotonic() < *m_toastDue) {
        wakeAt(m_toastTimer, *m_toastDue, &DeviceManager::endToastWhenDue);
        return;
    }
    dismissToast();
}

void DeviceManager::cancelToastTimer()
{
    m_toastDue.reset();
    if (m_toastTimer)
        m_toastTimer->stop();
}

std::optional<QRect> DeviceManager::toastTouchRect() const
{
    if (!m_toastIsOnDevice || !m_toast)
        return std::nullopt;
    return ToastTouchFilter::touchArea(m_toast->lines.size());
}
