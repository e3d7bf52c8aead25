#pragma once
// The Now Playing page's picture: the track's artwork blurred and dimmed across the whole
// screen with the sharp cover on top, in the device's frame format, and the accent colour
// the page draws its highlights in.

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <optional>

struct NowPlayingBackdrop {
    static constexpr int width = 480;
    static constexpr int height = 320;
    static constexpr std::uint32_t defaultAccent = 0xFFB020;
    static constexpr std::uint32_t neutralAccent = 0xE8EAED;

    QByteArray pixels;  // 480 × 320 RGB565, little-endian, rows from the top
    std::uint32_t accent = defaultAccent;

    friend bool operator==(const NowPlayingBackdrop&, const NowPlayingBackdrop&) = default;

    // Artwork is brought within this many pixels on its longer side before anything is
    // drawn from it; a shape whose shorter side would then fall below one pixel cannot be
    // drawn at all. Artwork that claims more pixels than maxArtworkPixels is not decoded.
    static constexpr int maxArtworkSide = 2048;
    static constexpr qint64 maxArtworkPixels = qint64(8192) * 8192;

    // None when the bytes are no raster image that OutsideImages reads, or one that
    // cannot be drawn.
    static std::optional<NowPlayingBackdrop> render(const QByteArray& imageBytes);
    static std::optional<NowPlayingBackdrop> render(const QImage& artwork);

    // The composed 480 × 320 canvas before packing (RGBA8888, premultiplied); a null image
    // when it cannot be drawn.
    static QImage composeCanvas(const QImage& artwork, const QImage& sample);
    // The artwork squeezed into 32 × 32 RGBA8888 pixels: what the colour analysis reads.
    static QImage sampleArtwork(const QImage& artwork);
    // Mean BT.709 luma of linearised sRGB over the RGBA bytes.
    static double meanLuma(const QByteArray& rgba);
    // Share of the blurred fill's brightness that the dim leaves, at most 0.55.
    static double dimKeep(double meanLuma);

    // RGBA bytes to RGB565 with the 8 × 8 ordered dither; alpha is ignored.
    static QByteArray packRGB565(const QByteArray& rgba, int rowWidth);
    // The dominant saturated hue of the RGBA bytes, lifted until it reads on a dark page.
    static std::uint32_t accentColor(const QByteArray& rgba);
    static std::uint32_t liftForLegibility(std::uint32_t rgb);
};
