// The device settings the user changes on the desktop: backlight, display flip and the
// screensaver's switch, timeout, photo interval and style. Each setter changes the field,
// then the stored key, then the device.

#include "hub/DeviceManager.h"

#include "platform/Settings.h"

#include <algorithm>
#include <cmath>

using namespace TarvUSB;

namespace {

const QString backlightKey = QStringLiteral("display.backlight");
const QString flippedKey = QStringLiteral("display.flipped");
const QString enabledKey = QStringLiteral("screensaver.enabled");
const QString timeoutKey = QStringLiteral("screensaver.timeout");
const QString photoIntervalKey = QStringLiteral("screensaver.photoInterval");
const QString styleKey = QStringLiteral("screensaver.style");

bool isUsableSeconds(double seconds)
{
    return std::isfinite(seconds) && seconds > 0;
}

}  // namespace

void DeviceManager::setBacklight(int level)
{
    const int clamped = std::clamp(level, 10, 100);
    if (clamped != m_backlightLevel) {
        m_backlightLevel = clamped;
        emit backlightLevelChanged();
    }
    m_settings.setWholeNumber(backlightKey, clamped);
    if (m_state.isConnected())
        send(Frame{takeNextSequence(), BacklightPayload{std::uint8_t(clamped)}});
}

void DeviceManager::setDisplayFlipped(bool flipped)
{
    if (flipped == m_isDisplayFlipped)
        return;
    setDisplayFlippedField(flipped);
    m_settings.setBoolean(flippedKey, flipped);
    if (m_state.isConnected())
        send(Frame{takeNextSequence(), OrientationPayload{flipped}});
}

void DeviceManager::setScreensaverEnabled(bool enabled)
{
    ScreensaverState next = m_screensaver;
    next.isEnabled = enabled;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    m_settings.setBoolean(enabledKey, enabled);
    if (!enabled && m_activeScreen == DeviceScreen::screensaver())
        wakeFromScreensaver();
}

bool DeviceManager::setScreensaverTimeout(double seconds)
{
    // The loader ignores such a value at the next start; taking it now would make the
    // screensaver come back at every tick after a wake (0, a negative number or NaN) or never.
    if (!isUsableSeconds(seconds))
        return false;
    ScreensaverState next = m_screensaver;
    next.timeout = seconds;
    next.lastInteraction = m_clock.now();
    setScreensaver(next);
    m_settings.setDouble(timeoutKey, seconds);
    if (m_activeScreen == DeviceScreen::screensaver())
        renderActivePage();
    return true;
}

bool DeviceManager::setScreensaverPhotoInterval(double seconds)
{
    if (!isUsableSeconds(seconds))
        return false;
    ScreensaverState next = m_screensaver;
    next.photoInterval = seconds;
    setScreensaver(next);
    m_settings.setDouble(photoIntervalKey, seconds);
    return true;
}

void DeviceManager::setScreensaverStyle(ScreensaverStyle style)
{
    if (style == m_screensaver.style)
        return;
    ScreensaverState next = m_screensaver;
    next.style = style;
    setScreensaver(next);
    m_settings.setText(styleKey, screensaverStyleName(style));
    if (m_activeScreen == DeviceScreen::screensaver() && !m_photoLibrary.isEmpty())
        renderActivePage();
}

int DeviceManager::idleMinutes(double timeoutSeconds)
{
    // A timeout that is no finite number has no whole minutes; the page then shows the least.
    if (!std::isfinite(timeoutSeconds))
        return 1;
    const double minutes = std::floor(timeoutSeconds / 60.0);
    if (minutes < 1)
        return 1;
    return minutes >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max() : int(minutes);
}
