#include "ui/widgets/DisplayFormats.h"

#include <QLocale>

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <array>
#include <memory>

namespace {

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// "1.50" → "1.5", "2.00" → "2", in whatever decimal separator the locale uses.
QString withoutTrailingZeros(QString text, const QLocale& locale)
{
    const QString point = locale.decimalPoint();
    if (!text.contains(point))
        return text;
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(point))
        text.chop(point.size());
    return text;
}

// The formatter for the "hour, minute, second" skeleton of one locale. The log repaints up to
// two hundred rows at a time, so the pattern is looked up once per locale, not per row.
class TimeFormatter {
public:
    QString format(const QDateTime& date)
    {
        const QLocale locale;
        if (!m_format || locale.name() != m_localeName)
            build(locale);
        if (!m_format)
            return locale.toString(date.time(), QLocale::LongFormat);
        // The formatter works in GMT on the date's wall-clock time, so the date's own zone
        // decides the hour.
        const double wallClockMs = double(date.toMSecsSinceEpoch()) + double(date.offsetFromUtc()) * 1000.0;
        icu::UnicodeString out;
        m_format->format(wallClockMs, out);
        return fromIcu(out);
    }

private:
    void build(const QLocale& locale)
    {
        m_localeName = locale.name();
        m_format.reset();
        UErrorCode status = U_ZERO_ERROR;
        const icu::Locale icuLocale = icu::Locale::forLanguageTag(locale.bcp47Name().toStdString(), status);
        if (U_FAILURE(status))
            return;
        std::unique_ptr<icu::DateTimePatternGenerator> generator(
            icu::DateTimePatternGenerator::createInstance(icuLocale, status));
        if (U_FAILURE(status))
            return;
        // "j": the locale's own hour cycle, with its day-period marker where it uses one.
        const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"jms"), status);
        if (U_FAILURE(status))
            return;
        auto format = std::make_unique<icu::SimpleDateFormat>(pattern, icuLocale, status);
        if (U_FAILURE(status))
            return;
        format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString(u"GMT")));
        m_format = std::move(format);
    }

    QString m_localeName;
    std::unique_ptr<icu::SimpleDateFormat> m_format;
};

}  // namespace

QString byteCountText(std::uint64_t bytes, ByteCountStyle style)
{
    const QLocale locale;
    if (bytes == 0)
        return QStringLiteral("0 KB");
    const double base = style == ByteCountStyle::memory ? 1024.0 : 1000.0;
    if (double(bytes) < base)
        return locale.toString(qulonglong(bytes)) + (bytes == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    struct Unit {
        const char* name;
        int decimals;
    };
    static constexpr std::array<Unit, 4> units{{{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}}};
    double value = double(bytes) / base;
    std::size_t unit = 0;
    while (unit + 1 < units.size()) {
        // Rounding may carry a value into the next unit: 1023.6 KB reads "1 MB", not "1,024 KB".
        const double shown = QString::number(value, 'f', units[unit].decimals).toDouble();
        if (shown < base)
            break;
        value /= base;
        ++unit;
    }
    return withoutTrailingZeros(locale.toString(value, 'f', units[unit].decimals), locale) + u' ' +
           QLatin1String(units[unit].name);
}

QString timeOfDayWithSeconds(const QDateTime& date)
{
    if (!date.isValid())
        return {};
    // GUI thread only, as every view.
    static TimeFormatter formatter;
    return formatter.format(date);
}
