#pragma once
// The screensaver settings and idle clock that the hub keeps and the settings views show.

#include "media/ScreensaverStyle.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

struct ScreensaverState {
    struct Photo {
        QUuid id;
        QString name;
        friend bool operator==(const Photo&, const Photo&) = default;
    };

    bool isEnabled = true;
    double timeout = 300;  // seconds of idle time before the screensaver starts
    QList<Photo> photos;
    double photoInterval = 60;  // seconds each photo stays
    ScreensaverStyle style = ScreensaverStyle::corner;
    std::optional<QString> photoError;
    QDateTime lastInteraction;  // the idle clock: the last touch or page change

    friend bool operator==(const ScreensaverState&, const ScreensaverState&) = default;
};
