#include "media/NowPlayingBackdrop.h"

#include "platform/OutsideImages.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int sampleSide = 32;
constexpr double fillBlurSigma = 36;
// The blurred fill is worked at a quarter of its size: at this blur nothing finer than a
// few pixels survives, and it keeps the whole render within a frame's time.
constexpr int fillReduction = 4;
constexpr double saturationBoost = 1.35;
constexpr int shadeHeight = 84;
constexpr QRectF coverRect{8, 36, 204, 204};
constexpr double coverRadius = 8;
constexpr double shadowOpacity = 0.7;
constexpr double shadowOffset = 6;
// A shadow's blur is its spread; the Gaussian that draws it has half that deviation.
constexpr double shadowSigma = 18.0 / 2.0;
constexpr double outlineOpacity = 0.14;

constexpr std::array<std::array<int, 8>, 8> bayer{{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

double linearised(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luma709(double r, double g, double b)
{
    return 0.2126 * linearised(r) + 0.7152 * linearised(g) + 0.0722 * linearised(b);
}

// The six-sector rule; hue in [0, 1).
std::array<double, 3> hsvToRgb(double h, double s, double v)
{
    const double scaled = h * 6;
    const int sector = int(std::floor(scaled)) % 6;
    const double f = scaled - std::floor(scaled);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
    case 0:
        return {v, t, p};
    case 1:
        return {q, v, p};
    case 2:
        return {p, v, t};
    case 3:
        return {p, q, v};
    case 4:
        return {t, p, v};
    default:
        return {v, p, q};
    }
}

// Box radius whose three passes come closest to a Gaussian of this deviation.
int boxRadius(double sigma)
{
    return std::max(1, int(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
}

// One box pass along rows (step 1) or columns (step width) over `channels` interleaved
// floats, edges repeated without limit.
void boxPass(std::vector<float>& data, int width, int height, int channels, int radius, bool alongRows)
{
    const int length = alongRows ? width : height;
    const int lines = alongRows ? height : width;
    const std::size_t stride = alongRows ? std::size_t(channels) : std::size_t(width) * channels;
    const std::size_t lineStep = alongRows ? std::size_t(width) * channels : std::size_t(channels);
    std::vector<float> line(std::size_t(length) * channels);
    const float scale = 1.0f / float(2 * radius + 1);
    for (int l = 0; l < lines; ++l) {
        float* base = data.data() + std::size_t(l) * lineStep;
        for (int i = 0; i < length; ++i)
            for (int c = 0; c < channels; ++c)
                line[std::size_t(i) * channels + c] = base[std::size_t(i) * stride + c];
        auto at = [&](int i, int c) { return line[std::size_t(std::clamp(i, 0, length - 1)) * channels + c]; };
        for (int c = 0; c < channels; ++c) {
            float sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += at(i, c);
            for (int i = 0; i < length; ++i) {
                base[std::size_t(i) * stride + c] = sum * scale;
                sum += at(i + radius + 1, c) - at(i - radius, c);
            }
        }
    }
}

void gaussianBlur(std::vector<float>& data, int width, int height, int channels, double sigma)
{
    const int radius = boxRadius(sigma);
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(data, width, height, channels, radius, true);
        boxPass(data, width, height, channels, radius, false);
    }
}

// The artwork drawn at `scale` (drawn pixels per artwork pixel) and seen through a `box`
// centred on it: the part under the box, widened by `margin` drawn pixels on every side,
// already scaled. Drawing the box needs nothing else, so the piece stays within a few pixels
// of the box's size whatever the artwork's shape. `box` is where the box lies in the piece.
struct Piece {
    QImage image;
    QRectF box;
};

Piece coveringPiece(const QImage& artwork, double scale, const QSizeF& box, double margin)
{
    const QRectF whole(QPointF(0, 0), QSizeF(artwork.size()));
    const QSizeF seen(box.width() / scale, box.height() / scale);
    const QRectF view(whole.center() - QPointF(seen.width() / 2, seen.height() / 2), seen);
    const double reach = margin / scale;
    const QRectF needed = view.adjusted(-reach, -reach, reach, reach).intersected(whole);
    const int left = std::max(0, int(std::floor(needed.left())));
    const int top = std::max(0, int(std::floor(needed.top())));
    const int right = std::min(artwork.width(), int(std::ceil(needed.right())));
    const int bottom = std::min(artwork.height(), int(std::ceil(needed.bottom())));
    if (right <= left || bottom <= top)
        return {};
    const QSize part(right - left, bottom - top);
    const QSize scaled(std::max(1, int(std::ceil(part.width() * scale))),
                       std::max(1, int(std::ceil(part.height() * scale))));
    const QImage region = part == artwork.size() ? artwork : artwork.copy(QRect(QPoint(left, top), part));
    if (region.isNull())
        return {};
    // Area averaging: the painter's bilinear sampling would alias artwork shrunk this far.
    QImage image = region.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull())
        return {};
    const double kx = double(scaled.width()) / part.width();
    const double ky = double(scaled.height()) / part.height();
    return {std::move(image),
            QRectF((view.left() - left) * kx, (view.top() - top) * ky, view.width() * kx, view.height() * ky)};
}

// The artwork scaled to cover the canvas, blurred with its edges extended, saturated, and
// cropped to the canvas. A null image when the artwork cannot be scaled.
QImage blurredFill(const QImage& artwork)
{
    const double scale = std::max(double(NowPlayingBackdrop::width) / artwork.width(),
                                  double(NowPlayingBackdrop::height) / artwork.height()) /
                         fillReduction;
    const QSizeF box(double(NowPlayingBackdrop::width) / fillReduction,
                     double(NowPlayingBackdrop::height) / fillReduction);
    // What the three box passes reach, and a pixel more for the sampling at the crop's edge.
    const double margin = 3 * boxRadius(fillBlurSigma / fillReduction) + 1;
    const Piece piece = coveringPiece(artwork, scale, box, margin);
    if (piece.image.isNull())
        return {};
    const QImage small = piece.image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (small.isNull())
        return {};
    const int w = small.width();
    const int h = small.height();

    std::vector<float> data(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uchar* row = small.constScanLine(y);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                data[(std::size_t(y) * w + x) * 3 + c] = float(row[x * 4 + c]) / 255.0f;
    }
    gaussianBlur(data, w, h, 3, fillBlurSigma / fillReduction);

    QImage blurred(w, h, QImage::Format_RGBA8888_Premultiplied);
    if (blurred.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        uchar* row = blurred.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const float* p = &data[(std::size_t(y) * w + x) * 3];
            const float gray = 0.2125f * p[0] + 0.7154f * p[1] + 0.0721f * p[2];
            for (int c = 0; c < 3; ++c) {
                const float v = gray + float(saturationBoost) * (p[c] - gray);
                row[x * 4 + c] = uchar(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
            }
            row[x * 4 + 3] = 255;
        }
    }

    QImage out(NowPlayingBackdrop::width, NowPlayingBackdrop::height, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull())
        return {};
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, out.width(), out.height()), blurred, piece.box);
    return out;
}

// The cover's drop shadow: the rounded square in translucent black, moved down and blurred,
// on a transparent image of the canvas's size.
QImage coverShadow()
{
    const int margin = int(std::ceil(shadowSigma * 3));
    const QRectF shape = coverRect.translated(0, shadowOffset);
    const QRect area = shape.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    QImage mask(area.size(), QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(shape.translated(-area.topLeft()), coverRadius, coverRadius);
        painter.fillPath(path, Qt::black);
    }
    std::vector<float> alpha(std::size_t(area.width()) * area.height());
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            alpha[std::size_t(y) * area.width() + x] = mask.constScanLine(y)[x] / 255.0f;
    gaussianBlur(alpha, area.width(), area.height(), 1, shadowSigma);

    QImage shadow(NowPlayingBackdrop::width, NowPlayingBackdrop::height, QImage::Format_RGBA8888_Premultiplied);
    shadow.fill(Qt::transparent);
    for (int y = 0; y < area.height(); ++y) {
        const int cy = area.top() + y;
        if (cy < 0 || cy >= shadow.height())
            continue;
        uchar* row = shadow.scanLine(cy);
        for (int x = 0; x < area.width(); ++x) {
            const int cx = area.left() + x;
            if (cx < 0 || cx >= shadow.width())
                continue;
            row[cx * 4 + 3] = uchar(std::lround(alpha[std::size_t(y) * area.width() + x] * shadowOpacity * 255.0));
        }
    }
    return shadow;
}

const QImage& cachedCoverShadow()
{
    // The shadow depends on no artwork: it is drawn once.
    static const QImage shadow = coverShadow();
    return shadow;
}

QByteArray bytesOf(const QImage& rgba)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(rgba.width()) * rgba.height() * 4);
    for (int y = 0; y < rgba.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(rgba.constScanLine(y)), qsizetype(rgba.width()) * 4);
    return bytes;
}

}  // namespace

std::optional<NowPlayingBackdrop> NowPlayingBackdrop::render(const QByteArray& imageBytes)
{
    OutsideImages::Limits limits;
    limits.maxSide = maxArtworkSide;
    limits.maxStoredPixels = maxArtworkPixels;
    const std::optional<QImage> artwork = OutsideImages::decode(imageBytes, limits);
    if (!artwork)
        return std::nullopt;
    return render(*artwork);
}

std::optional<NowPlayingBackdrop> NowPlayingBackdrop::render(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    const std::optional<QSize> fitted = OutsideImages::fittedSize(image.size(), maxArtworkSide);
    if (!fitted)
        return std::nullopt;
    const QImage artwork =
        *fitted == image.size() ? image : image.scaled(*fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (artwork.isNull())
        return std::nullopt;
    const QImage sample = sampleArtwork(artwork);
    if (sample.isNull())
        return std::nullopt;
    const QImage canvas = composeCanvas(artwork, sample);
    if (canvas.isNull())
        return std::nullopt;
    NowPlayingBackdrop backdrop;
    backdrop.pixels = packRGB565(bytesOf(canvas), width);
    backdrop.accent = accentColor(bytesOf(sample));
    return backdrop;
}

QImage NowPlayingBackdrop::sampleArtwork(const QImage& artwork)
{
    return artwork.scaled(sampleSide, sampleSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGBA8888_Premultiplied);
}

double NowPlayingBackdrop::meanLuma(const QByteArray& rgba)
{
    const qsizetype count = rgba.size() / 4;
    if (count == 0)
        return 0;
    double sum = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const auto* p = reinterpret_cast<const uchar*>(rgba.constData()) + i * 4;
        sum += luma709(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
    }
    return sum / double(count);
}

double NowPlayingBackdrop::dimKeep(double meanLuma)
{
    return std::min(std::pow(0.035 / std::max(meanLuma, 0.001), 1.0 / 2.2), 0.55);
}

QImage NowPlayingBackdrop::composeCanvas(const QImage& artwork, const QImage& sample)
{
    QImage canvas(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (canvas.isNull())
        return {};
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);

    if (const QImage fill = blurredFill(artwork); !fill.isNull())
        painter.drawImage(0, 0, fill);

    const double keep = dimKeep(meanLuma(bytesOf(sample)));
    painter.fillRect(canvas.rect(), QColor::fromRgbF(0, 0, 0, float(1 - keep)));

    QLinearGradient shade(0, height, 0, height - shadeHeight);
    const QColor shadeColor(10, 11, 12);
    QColor clear = shadeColor;
    clear.setAlpha(0);
    shade.setColorAt(0, shadeColor);
    shade.setColorAt(0.25, shadeColor);
    shade.setColorAt(1, clear);
    painter.fillRect(QRectF(0, height - shadeHeight, width, shadeHeight), shade);

    painter.drawImage(0, 0, cachedCoverShadow());
    QPainterPath square;
    square.addRoundedRect(coverRect, coverRadius, coverRadius);
    painter.fillPath(square, Qt::black);

    const double coverScale = std::max(coverRect.width() / artwork.width(), coverRect.height() / artwork.height());
    const Piece cover = coveringPiece(artwork, coverScale, coverRect.size(), 1);
    if (cover.image.isNull())
        return {};
    painter.save();
    painter.setClipPath(square);
    painter.drawImage(coverRect, cover.image, cover.box);
    painter.restore();

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, float(outlineOpacity)), 1));
    painter.drawRoundedRect(coverRect.adjusted(0.5, 0.5, -0.5, -0.5), coverRadius - 0.5, coverRadius - 0.5);
    painter.end();
    return canvas;
}

QByteArray NowPlayingBackdrop::packRGB565(const QByteArray& rgba, int rowWidth)
{
    const qsizetype count = rgba.size() / 4;
    QByteArray out(count * 2, Qt::Uninitialized);
    if (rowWidth <= 0)
        return out.fill(0);
    const auto* in = reinterpret_cast<const uchar*>(rgba.constData());
    auto* dst = reinterpret_cast<uchar*>(out.data());
    for (qsizetype i = 0; i < count; ++i) {
        const int x = int(i % rowWidth);
        const int y = int(i / rowWidth);
        const int d = bayer[std::size_t(y % 8)][std::size_t(x % 8)];
        const auto channel = [](int value, int add, int shift, int top) {
            const int sum = value + add;
            return sum >= 256 ? top : sum >> shift;
        };
        const int r = channel(in[i * 4], d / 8, 3, 31);
        const int g = channel(in[i * 4 + 1], d / 16, 2, 63);
        const int b = channel(in[i * 4 + 2], d / 8, 3, 31);
        const int value = r << 11 | g << 5 | b;
        dst[i * 2] = uchar(value & 0xFF);
        dst[i * 2 + 1] = uchar(value >> 8);
    }
    return out;
}

std::uint32_t NowPlayingBackdrop::accentColor(const QByteArray& rgba)
{
    if (rgba.size() < 4)
        return defaultAccent;
    struct Bin {
        double weight = 0, sine = 0, cosine = 0, saturation = 0;
    };
    constexpr int binCount = 24;
    std::array<Bin, binCount> bins{};
    const qsizetype count = rgba.size() / 4;
    const auto* in = reinterpret_cast<const uchar*>(rgba.constData());
    for (qsizetype i = 0; i < count; ++i) {
        const double r = in[i * 4] / 255.0, g = in[i * 4 + 1] / 255.0, b = in[i * 4 + 2] / 255.0;
        const double mx = std::max({r, g, b});
        const double delta = mx - std::min({r, g, b});
        if (delta <= 0)
            continue;
        double h = mx == r ? (g - b) / delta : mx == g ? (b - r) / delta + 2 : (r - g) / delta + 4;
        h /= 6;
        if (h < 0)
            h += 1;
        if (mx < 0.2)
            continue;
        const double s = delta / mx;
        if (s < 0.25)
            continue;
        Bin& bin = bins[std::size_t(std::min(int(std::floor(h * binCount)), binCount - 1))];
        const double w = mx * s * s;
        bin.weight += w;
        bin.sine += w * std::sin(2 * std::numbers::pi * h);
        bin.cosine += w * std::cos(2 * std::numbers::pi * h);
        bin.saturation += s * w;
    }
    double total = 0;
    for (const Bin& bin : bins)
        total += bin.weight;
    if (total < 0.015 * double(count))
        return neutralAccent;

    int best = 0;
    double bestScore = -1;
    for (int b = 0; b < binCount; ++b) {
        const auto weight = [&](int i) { return bins[std::size_t((i + binCount) % binCount)].weight; };
        const double score = weight(b) + 0.5 * (weight(b - 1) + weight(b + 1));
        if (score > bestScore) {
            bestScore = score;
            best = b;
        }
    }
    const Bin& bin = bins[std::size_t(best)];
    double hue = std::atan2(bin.sine, bin.cosine) / (2 * std::numbers::pi);
    if (hue < 0)
        hue += 1;
    const double saturation = std::clamp(bin.saturation / bin.weight, 0.55, 0.85);
    const std::array<double, 3> rgb = hsvToRgb(hue, saturation, 1.0);
    const auto byte = [](double c) { return std::uint32_t(std::lround(c * 255)); };
    return liftForLegibility(byte(rgb[0]) << 16 | byte(rgb[1]) << 8 | byte(rgb[2]));
}

std::uint32_t NowPlayingBackdrop::liftForLegibility(std::uint32_t rgb)
{
    double c[3] = {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
    for (int step = 0; step < 40 && luma709(c[0], c[1], c[2]) < 0.3; ++step)
        for (double& channel : c)
            channel += (1 - channel) * 0.06;
    return std::uint32_t(std::lround(c[0] * 255)) << 16 | std::uint32_t(std::lround(c[1] * 255)) << 8 |
           std::uint32_t(std::lround(c[2] * 255));
}
