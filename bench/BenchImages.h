#pragma once
// Pictures for the image benchmarks: a diagonal gradient between two colours.

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

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

// A gradient with fine noise: compresses about like a camera picture.
inline QByteArray cameraJpeg()
{
    QImage image = gradientPicture(4000, 3000, QColor(40, 90, 160), QColor(220, 170, 90));
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); y += 2) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); x += 3)
            row[x] = qRgb(int(random.bounded(256)), qGreen(row[x]), qBlue(row[x]));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}
