#include "device/TextFit.h"

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "platform/Graphemes.h"
#include "platform/TextTrim.h"

namespace DynamicUIDemo {

namespace {

QString ellipsisFor(const MontserratMetrics::Font& font)
{
    const QString ellipsis(QChar(0x2026));
    return hasUndrawableScalar(ellipsis, font) ? QStringLiteral("...") : ellipsis;
}

}  // namespace

QString fitText(const QString& text, int size, int maxWidth)
{
    if (maxWidth < 1)
        return {};
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(size);
    const QString folded = foldForDevice(text);
    if (MontserratMetrics::textWidth(folded, font) <= maxWidth)
        return folded;

    const QString ellipsis = ellipsisFor(font);
    // Character boundaries: dropping the last character keeps the text up to the boundary
    // before it.
    const QList<qsizetype> bounds = graphemeBoundaries(folded);
    const qsizetype lastCut = bounds.size() - 2;
    const QStringView body = trimSpacesAndTabs(folded);
    const qsizetype lead = body.isEmpty() ? folded.size() : body.data() - folded.constData();

    // A long text would be measured once per dropped character. Kerning values are signed
    // bytes in sixteenths of a pixel, so whatever follows a text takes at most 8 pixels off
    // its width: once a start of the text is wider than maxWidth + 8, every longer cut is
    // either too wide as well or, its excess being blanks that the trimming removes, the
    // same text as the cut at that start. The search can begin there.
    qsizetype firstCut = lastCut;
    for (qsizetype j = 16; j < lastCut; j *= 2) {
        if (bounds[j] > lead && MontserratMetrics::textWidth(QStringView(folded).sliced(lead, bounds[j] - lead), font) > maxWidth + 8) {
            firstCut = j;
            break;
        }
    }
    for (qsizetype kept = firstCut; kept >= 0; --kept) {
        const QString candidate = trimSpacesAndTabs(QStringView(folded).first(bounds[kept])).toString() + ellipsis;
        if (MontserratMetrics::textWidth(candidate, font) <= maxWidth)
            return candidate;
    }
    return {};
}

}  // namespace DynamicUIDemo
