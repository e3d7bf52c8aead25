#pragma once
// The names of photos that arrive without a file name of their own.

#include <QDateTime>
#include <QString>

// "Dropped " + the date and time as "yyyy-MM-dd HHmm" in the user's locale and time zone
// + "-" + the item's 1-based position in its drop.
QString droppedPhotoName(const QDateTime& when, int position);
