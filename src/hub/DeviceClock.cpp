#include "hub/DeviceClock.h"

#include "pages/ClockText.h"

bool DeviceClock::tick(const QDateTime& date)
{
    const QString minute = DynamicUIDemo::minuteText(date);
    if (renderedMinute == minute)
        return false;
    renderedMinute = minute;
    return true;
}
