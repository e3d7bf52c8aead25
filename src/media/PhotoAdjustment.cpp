#include "media/PhotoAdjustment.h"

#include <QJsonValue>

#include <algorithm>

PhotoAdjustment::Rect PhotoAdjustment::cropRect(double width, double height, double aspect) const
{
    const double z = zoom <= 1 ? 1.0 : std::min(zoom, 4.0);
    double baseW = width;
    double baseH = width / aspect;
    if (aspect < width / height) {
        baseW = height * aspect;
        baseH = height;
    }
    const double w = baseW / z;
    const double h = baseH / z;
    double x = width * centerX - w / 2;
    if (x <= 0)
        x = 0;
    x = std::min(x, width - w);
    double y = height * centerY - h / 2;
    if (y <= 0)
        y = 0;
    y = std::min(y, height - h);
    return {x, y, w, h};
}

QJsonObject PhotoAdjustment::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("zoom"), zoom);
    object.insert(QStringLiteral("centerX"), centerX);
    object.insert(QStringLiteral("centerY"), centerY);
    object.insert(QStringLiteral("quarterTurns"), quarterTurns);
    object.insert(QStringLiteral("mirrored"), mirrored);
    return object;
}

std::optional<PhotoAdjustment> PhotoAdjustment::fromJson(const QJsonObject& object)
{
    const QJsonValue zoom = object.value(QStringLiteral("zoom"));
    const QJsonValue centerX = object.value(QStringLiteral("centerX"));
    const QJsonValue centerY = object.value(QStringLiteral("centerY"));
    const QJsonValue turns = object.value(QStringLiteral("quarterTurns"));
    const QJsonValue mirrored = object.value(QStringLiteral("mirrored"));
    if (!zoom.isDouble() || !centerX.isDouble() || !centerY.isDouble() || !turns.isDouble() || !mirrored.isBool())
        return std::nullopt;
    // A JSON integer only: 1.5 quarter turns is no value a writer of this index produces.
    const double rawTurns = turns.toDouble();
    if (rawTurns != double(qint64(rawTurns)) || rawTurns < -1e9 || rawTurns > 1e9)
        return std::nullopt;
    return PhotoAdjustment{zoom.toDouble(), centerX.toDouble(), centerY.toDouble(), int(rawTurns), mirrored.toBool()};
}
