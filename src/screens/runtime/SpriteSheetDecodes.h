#pragma once
// The sprite sheets of the shown page, decoded into device frames on a worker of their own, once
// per version of each file: what a decode gave is remembered (a failure too), a sheet being
// decoded is not asked for again, and of the sheets waiting only the newest asked for is decoded.
// Destroying it stops the one decode under way and waits for it, never for a queue of them.

#include "platform/OneThreadWorker.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <utility>

class SpriteSheetDecodes {
public:
    using Frames = std::optional<QList<QByteArray>>;
    // One version of a sheet cut into `count` cells: the file, and its modification date as the
    // screen store last read it.
    struct Sheet {
        QString path;
        std::optional<QDateTime> modified;
        qint64 count = 0;
        friend bool operator==(const Sheet&, const Sheet&) = default;
    };
    // `stop` is set once the decode is no longer wanted: it ends as soon as it can.
    using Decode = std::function<Frames(const QString& path, qint64 count, const std::atomic<bool>& stop)>;

    // Decodes with SpriteSheet::frames, or with `decode` (tests).
    explicit SpriteSheetDecodes(Decode decode = {});
    ~SpriteSheetDecodes();
    SpriteSheetDecodes(const SpriteSheetDecodes&) = delete;
    SpriteSheetDecodes& operator=(const SpriteSheetDecodes&) = delete;

    // What the decode of `sheet` gave, when it is remembered.
    const Frames* decoded(const Sheet& sheet) const;

    // Decodes `sheet` unless it is under way or waiting already: it takes the place of any other
    // sheet waiting, and `done` runs on the thread of `owner` with what it gave, after it is
    // remembered. Call it on the thread of `owner`.
    void decode(QObject* owner, const Sheet& sheet, std::function<void(const Frames&)> done);

private:
    // About two pages' worth of sheets (each at most 8 frames of 40 KB).
    static constexpr int remembered = 16;

    Decode m_decode;
    // Under way and waiting, in the order asked: answers come in that order.
    QList<Sheet> m_asked;
    // The oldest first.
    QList<std::pair<Sheet, Frames>> m_decoded;
    std::atomic<bool> m_stopping = false;
    // Last, so that it goes first: its answers stop before the lists above go.
    OneThreadWorker m_worker;
};
