#include "control/toast/NotificationToast.h"

#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"
#include "platform/Graphemes.h"
#include "platform/TextTrim.h"
#include "screens/format/ValueEvaluators.h"

#include <algorithm>

using TarvUSB::PatchOp;
using TarvUSB::PropValue;

namespace {

constexpr qsizetype lineTextLimit = 480;
constexpr qsizetype toastCharacters = 120;
constexpr int oneLineSize = 18;
constexpr int wrappedSize = 14;
constexpr std::uint32_t bellNode = NotificationToast::cardNode + 1;
constexpr std::uint32_t firstLineNode = NotificationToast::cardNode + 2;

constexpr std::uint32_t cardColor = 0x15171A;
constexpr std::uint32_t amber = 0xFFB020;
constexpr std::uint32_t lineColor = 0xF2F4F6;

int widthAt(QStringView text, int fontSize)
{
    return MontserratMetrics::textWidth(text, fontSize);
}

QStringList words(const QString& text)
{
    return text.split(u' ', Qt::SkipEmptyParts);
}

}  // namespace

QString NotificationToast::keepDrawableScalars(const QString& text)
{
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(wrappedSize);
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        const QStringView scalar = QStringView(text).sliced(i, length);
        if (!hasUndrawableScalar(scalar, font))
            kept.append(scalar);
        i += length;
    }
    return kept;
}

QString NotificationToast::cleanText(const QString& text)
{
    const QString drawable = keepDrawableScalars(deviceLineText(text, lineTextLimit));
    return firstGraphemes(words(drawable).join(u' '), toastCharacters);
}

std::optional<NotificationToast> NotificationToast::fromText(const QString& text)
{
    const QString cleaned = cleanText(text);
    if (cleaned.isEmpty())
        return std::nullopt;
    if (widthAt(cleaned, oneLineSize) <= lineWidth)
        return NotificationToast{{cleaned}, oneLineSize};
    return NotificationToast{wrapWords(cleaned, wrappedSize, lineWidth, 2), wrappedSize};
}

QStringList NotificationToast::wrapWords(const QString& text, int fontSize, int maxWidth, int maxLines)
{
    QStringList pending = words(text);
    QStringList lines;
    QString current;
    qsizetype next = 0;
    while (next < pending.size()) {
        const QString& word = pending[next];
        const QString candidate = current.isEmpty() ? word : current + u' ' + word;
        if (widthAt(candidate, fontSize) <= maxWidth) {
            current = candidate;
            ++next;
            continue;
        }
        if (lines.size() >= maxLines - 1) {
            lines.append(fitWithSuffix(candidate, QStringLiteral("..."), fontSize, maxWidth));
            return lines;
        }
        if (!current.isEmpty()) {
            lines.append(current);
            current.clear();
            continue;
        }
        // A word wider than a whole line: its head fills this line, the rest is taken as the
        // next word. At least one character goes, so the loop always moves on.
        const QString piece = fitWithSuffix(word, QString(), fontSize, maxWidth);
        lines.append(piece);
        const qsizetype taken = firstGraphemes(word, std::max<qsizetype>(graphemeCount(piece), 1)).size();
        const QString rest = word.sliced(taken);
        if (rest.isEmpty())
            ++next;
        else
            pending[next] = rest;
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

QString NotificationToast::fitWithSuffix(const QString& text, const QString& suffix, int fontSize, int maxWidth)
{
    QString fitted = text;
    while (!fitted.isEmpty() && widthAt(fitted + suffix, fontSize) > maxWidth)
        fitted = dropLastGraphemes(fitted);
    return trimSpacesAndTabs(fitted).toString() + suffix;
}

QList<PatchOp> NotificationToast::patchOps(int insertIndex, bool replaceExisting, const NotificationToast& toast)
{
    const auto i32 = [](int value) { return PropValue::int32(value); };
    const int lineCount = int(toast.lines.size());
    const int cardHeight = lineCount <= 1 ? 44 : 60;
    const int inner = cardHeight - 4;
    const int bellLineHeight = MontserratMetrics::fontForSize(oneLineSize).lineHeight();
    const int lineHeight = MontserratMetrics::fontForSize(toast.fontSize).lineHeight();
    const QString bell = DeviceIcon(DeviceIcon::bell).glyph();

    QList<PatchOp> ops;
    if (replaceExisting)
        ops.append(PatchOp::remove(cardNode));
    ops.append(PatchOp::create(cardNode, QStringLiteral("cont"), pageNode, std::uint16_t(std::max(insertIndex, 0))));
    ops.append(PatchOp::setProps(cardNode, {
                                               {QStringLiteral("x"), i32(24)},
                                               {QStringLiteral("y"), i32(34)},
                                               {QStringLiteral("w"), i32(432)},
                                               {QStringLiteral("h"), i32(cardHeight)},
                                               {QStringLiteral("bg"), PropValue::color(cardColor)},
                                               {QStringLiteral("borderColor"), PropValue::color(amber)},
                                               {QStringLiteral("borderWidth"), i32(2)},
                                               {QStringLiteral("radius"), i32(8)},
                                           }));
    ops.append(PatchOp::create(bellNode, QStringLiteral("label"), cardNode, 0));
    ops.append(PatchOp::setProps(bellNode, {
                                               {QStringLiteral("x"), i32(14)},
                                               {QStringLiteral("y"), i32((inner - bellLineHeight) / 2)},
                                               {QStringLiteral("w"), i32(widthAt(bell, oneLineSize))},
                                               {QStringLiteral("h"), i32(bellLineHeight)},
                                               {QStringLiteral("textColor"), PropValue::color(amber)},
                                               {QStringLiteral("fontSize"), i32(oneLineSize)},
                                           }));
    ops.append(PatchOp::setText(bellNode, bell));

    const int top = (inner - (lineCount * lineHeight + 4 * (lineCount - 1))) / 2;
    for (int i = 0; i < lineCount; ++i) {
        const QString& line = toast.lines[i];
        const std::uint32_t node = firstLineNode + std::uint32_t(i);
        const int width = std::clamp(widthAt(line, toast.fontSize), 1, lineWidth);
        ops.append(PatchOp::create(node, QStringLiteral("label"), cardNode, std::uint16_t(i + 1)));
        ops.append(PatchOp::setProps(node, {
                                               {QStringLiteral("x"), i32(44 + (lineWidth - width) / 2)},
                                               {QStringLiteral("y"), i32(top + i * (lineHeight + 4))},
                                               {QStringLiteral("w"), i32(width)},
                                               {QStringLiteral("h"), i32(lineHeight)},
                                               {QStringLiteral("textColor"), PropValue::color(lineColor)},
                                               {QStringLiteral("fontSize"), i32(toast.fontSize)},
                                           }));
        ops.append(PatchOp::setText(node, line));
    }
    return ops;
}
