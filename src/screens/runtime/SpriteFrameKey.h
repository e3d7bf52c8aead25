#pragma once
// The identity of one sprite frame on the device: the sheet file, the cell, and the sheet's
// modification date, so that an edited sheet counts as new frames.

#include <QDateTime>
#include <QString>

struct SpriteFrameKey {
    QString sheetPath;
    int cell = 0;
    QDateTime modified;
    friend bool operator==(const SpriteFrameKey&, const SpriteFrameKey&) = default;
};
