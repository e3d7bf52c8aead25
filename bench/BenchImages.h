#pragma once
// Pictures for the image benchmarks: a diagonal gradient between two colours.

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

inline QImage gradientPicture(int width, int height, const QColor& from, const QColor& to)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    return image;
}
