#pragma once
// How the views write byte counts and times of day, so every page reads the same.

#include <QDateTime>
#include <QString>

#include <cstdint>

// Memory counts in multiples of 1024 (the device's PSRAM), file sizes in multiples of 1000
// (bytes that crossed the wire).
enum class ByteCountStyle { memory, file };

// "8 MB", "18 KB", "1.5 MB", "2.25 GB", "0 KB"; below one kilobyte "512 bytes". Numbers
// follow the default QLocale; no trailing zeros after the decimal separator.
QString byteCountText(std::uint64_t bytes, ByteCountStyle style);

// The time of day in the default locale's own form with seconds: "3:04:05 PM", "15:04:05".
QString timeOfDayWithSeconds(const QDateTime& date);
