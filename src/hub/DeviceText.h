#pragma once
// Text the device chose (firmware names, its log lines, keys of damaged frames) on its way
// into the connection log and standard error, where a raw control character could forge a
// line or drive the terminal, and a long text could flood both.

#include <QString>
#include <QStringView>

// How much of one device text a log line shows, in code points.
inline constexpr qsizetype deviceTextLogLimit = 500;

// C0 controls, DEL and C1 controls become visible escapes ("\n", "\r", "\t", "\x1B" …) and a
// backslash is doubled, so that an escape the device sent as text reads differently from one
// made here. Beyond the limit the text is cut and "…" appended.
QString escapedDeviceText(QStringView text, qsizetype limit = deviceTextLogLimit);
