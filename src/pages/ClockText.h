#pragma once
// The time and date texts of the device pages, in the user's locale, from the wall-clock
// time of the given date (its own time zone or offset).

#include <QDateTime>
#include <QString>

namespace DynamicUIDemo {

// The date formatted "h:mm a" ("9:41 AM"); empty for an invalid date.
QString timeText(const QDateTime& date);
// The date formatted "EEEE, MMM d" ("Tuesday, Jan 9"); empty for an invalid date.
QString dateText(const QDateTime& date);
// The short dates of the screensaver photo overlay: "EEE, MMM d" and "EEE MMM d"; empty
// for an invalid date.
QString shortDateText(const QDateTime& date);
QString shortDateTextWithoutComma(const QDateTime& date);
// The date formatted "yyyy-MM-dd HH:mm": which minute a page's clock shows; empty for an
// invalid date.
QString minuteText(const QDateTime& date);

}  // namespace DynamicUIDemo
