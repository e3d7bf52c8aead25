#pragma once
// Sprite sheets: an image file of up to eight equal cells side by side, each one frame of an
// animation. The device decodes no image files, so every cell becomes one device frame of
// raw pixels, ready for upload as an image asset with an alpha plane. Pure functions; they
// read and draw without any GUI object, so they may run on any thread.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>

#include <atomic>
#include <optional>

namespace SpriteSheet {

inline constexpr int frameWidth = 120;
inline constexpr int frameHeight = 112;
inline constexpr qsizetype colorPlaneBytes = qsizetype(frameWidth) * frameHeight * 2;
inline constexpr qsizetype alphaPlaneBytes = qsizetype(frameWidth) * frameHeight;
inline constexpr qsizetype frameBytes = colorPlaneBytes + alphaPlaneBytes;
inline constexpr qint64 maxCells = 8;
// Larger sheet files are not read, and no sheet decodes to more pixels than this (64 MB).
inline constexpr qint64 maxFileBytes = 16 * 1024 * 1024;
inline constexpr qint64 maxSheetPixels = qint64(4096) * 4096;

// One frame as the device holds it: the sheet as the screen names it, the cell, and the
// sheet's modification date when it could be read, so an edited sheet counts as new frames.
// A key with a date never equals one without.
struct FrameKey {
    QString file;
    int index = 0;
    std::optional<QDateTime> modified;
    friend bool operator==(const FrameKey&, const FrameKey&) = default;
};

// Every cell of the sheet at `path` as a device frame, in cell order; none for a count
// outside 1...8, a file that is no picture OutsideImages reads, cells narrower than a
// pixel, or any cell that cannot be cut or drawn, and for anything but a regular file within
// the limits above. Never a part of the cells. Once `stop` is set, the decode ends as
// OutsideImages::decode says, with none.
std::optional<QList<QByteArray>> frames(const QString& path, qint64 count, const std::atomic<bool>* stop = nullptr);

// One cell scaled to fit 120 × 112 with its proportions kept, centred across and resting
// on the bottom edge, as the RGB565 plane followed by the A8 plane; none when the drawing
// surface cannot be made.
std::optional<QByteArray> renderFrame(const QImage& cell);

// Appends premultiplied RGBA pixels, converted, to the two planes.
void packPixels(QByteArrayView rgba, QByteArray& rgb565, QByteArray& a8);

}  // namespace SpriteSheet
