#pragma once
// The Layout of one shown screen file kept between value changes: a widget is evaluated again
// only when a value it reads changed or when it follows the time, so a new value costs the
// widgets that show it rather than the whole page. What it gives is what buildNodes gives.

#include "screens/runtime/CustomScreenRenderer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

namespace CustomScreenRenderer {

class LayoutCache {
public:
    // The placeholders of every widget are read here, once per file.
    LayoutCache(const QList<CustomScreen::Widget>& widgets, const std::map<qint64, CustomScreen::Condition>& conditions);

    // Whether the cache was made for these widgets and conditions.
    bool isFor(const CustomScreen& screen) const;

    // buildNodes' Layout for these values at `time` seconds since the page appeared.
    Layout layout(const DisplayValues& values, double time);

private:
    struct Entry {
        // The keys the widget and its condition read, and their values at the last evaluation
        // (none for a key without a value).
        QStringList keys;
        QList<std::optional<QString>> seen;
        bool followsTime = false;
        // The animation frame at the last evaluation: a widget that follows the time is
        // evaluated again when its frame changes.
        std::optional<CustomScreen::BoxFrame> boxFrame;
        std::optional<qint64> spriteCell;
        bool isEvaluated = false;
        qint64 spriteSlotsBefore = 0;
        Layout part;
    };

    static bool readsChanged(Entry& entry, const DisplayValues& values);
    bool frameChanged(Entry& entry, qsizetype i, double time) const;

    CustomScreen m_screen;  // widgets and conditions only
    QList<Entry> m_entries;
};

}  // namespace CustomScreenRenderer
