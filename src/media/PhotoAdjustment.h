#pragma once
// How one screensaver photo is framed on the device: zoom, crop centre, quarter turns and
// mirroring, with its JSON form inside the photo index.

#include <QJsonObject>

#include <optional>

struct PhotoAdjustment {
    double zoom = 1.0;  // stored as given; clamped to 1...4 where the crop is computed
    double centerX = 0.5;
    double centerY = 0.5;
    int quarterTurns = 0;  // clockwise; only the two lowest bits count, so -1 is three turns
    bool mirrored = false;

    struct Rect {
        double x = 0;
        double y = 0;
        double w = 0;
        double h = 0;
        friend bool operator==(const Rect&, const Rect&) = default;
    };

    // The crop in pixels of the oriented picture (top-left origin) for a target aspect
    // (width / height): the largest such rectangle, shrunk by the zoom, centred on the chosen
    // point as far as the edges allow.
    Rect cropRect(double width, double height, double aspect) const;
    int turns() const { return quarterTurns & 3; }

    QJsonObject toJson() const;
    // All five keys are required with their JSON types; anything else gives none.
    static std::optional<PhotoAdjustment> fromJson(const QJsonObject& object);

    friend bool operator==(const PhotoAdjustment&, const PhotoAdjustment&) = default;
};
