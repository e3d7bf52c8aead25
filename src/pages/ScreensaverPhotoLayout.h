#pragma once
// How a screensaver photo looks on the device for each overlay style: the corner of the
// clock (including the least busy one), the darkened edge under it, and the widgets of the
// page and of its minute updates. Pure functions of a frame, a date and a layout.

#include "link/Frame.h"
#include "media/ScreensaverStyle.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

struct ScreensaverPhotoLayout {
    ScreensaverStyle style = ScreensaverStyle::corner;
    ScreensaverCorner corner = ScreensaverCorner::bottomLeft;
    friend bool operator==(const ScreensaverPhotoLayout&, const ScreensaverPhotoLayout&) = default;

    enum class FadeEdge { none, top, bottom };
    struct FadeSpec {
        FadeEdge edge = FadeEdge::none;
        int rows = 0;
        double strength = 0;
        friend bool operator==(const FadeSpec&, const FadeSpec&) = default;
    };

    struct Node {
        std::uint32_t id = 0;
        QString kind;  // "label" or "cont"
        std::uint32_t parent = 0;
        int x = 0;
        int y = 0;
        int w = 0;
        int h = 0;
        QList<TarvUSB::PropEntry> style;
        std::optional<QString> text;
    };

    static FadeSpec fadeSpec(const ScreensaverPhotoLayout& layout);
    // A copy of the 480 x 320 frame with the edge faded; a frame of another size or fewer
    // than one row gives the frame unchanged.
    static QByteArray fadedFrame(FadeEdge edge, int rows, const QByteArray& frame, double strength);
    // The y of each row of text stacked in the layout's corner.
    static QList<int> stackedRows(const QList<int>& sizes, int gap, const ScreensaverPhotoLayout& layout);
    static QList<Node> labelNodes(const QDateTime& date, const ScreensaverPhotoLayout& layout);
    // The PATCH that builds the whole page: the photo (asset 2) and the labels.
    static TarvUSB::Frame makeNodes(std::uint16_t seq, const QDateTime& date, const ScreensaverPhotoLayout& layout);
    // Moves and re-texts the labels; none when the style shows none.
    static std::optional<TarvUSB::Frame> overlayPatch(std::uint16_t seq, const QDateTime& date,
                                                      const ScreensaverPhotoLayout& layout);
};

// Darkens `rows` rows at the edge in place with a smoothstep ramp and a 4 x 4 ordered dither.
void applySoftFade(ScreensaverPhotoLayout::FadeEdge edge, int rows, QByteArray& frame, double strength);
// The corner whose 200 x 72 box is darkest and flattest; ties keep the earlier corner.
ScreensaverCorner quietestCorner(const QByteArray& frame);
