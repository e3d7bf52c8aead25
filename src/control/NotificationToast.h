#pragma once
// The notification toast the hub shows over the device page: its text lines and font size.

#include <QStringList>

struct NotificationToast {
    QStringList lines;
    int fontSize = 0;

    friend bool operator==(const NotificationToast&, const NotificationToast&) = default;
};
