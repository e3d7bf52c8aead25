#include "pages/ClockText.h"

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>

namespace DynamicUIDemo {

namespace {

// One ICU formatter per pattern, built on first use. The formatter works in GMT and is
// handed the wall-clock time of the date as if it were GMT, so the date's own zone decides
// the hour and no process-wide ICU time zone is involved.
class PatternFormatter {
public:
    explicit PatternFormatter(const char16_t* pattern)
    {
        UErrorCode status = U_ZERO_ERROR;
        auto format = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern),
                                                              icu::Locale::getDefault(), status);
        if (U_FAILURE(status))
            return;
        format->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString(u"GMT")));
        m_format = std::move(format);
    }

    QString format(const QDateTime& date)
    {
        if (!date.isValid() || !m_format)
            return {};
        const double wallClockMs = double(date.toMSecsSinceEpoch()) + double(date.offsetFromUtc()) * 1000.0;
        icu::UnicodeString out;
        {
            // ICU formatters are not safe for concurrent use.
            std::lock_guard lock(m_mutex);
            m_format->format(wallClockMs, out);
        }
        return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
    }

private:
    std::unique_ptr<icu::SimpleDateFormat> m_format;
    std::mutex m_mutex;
};

}  // namespace

QString timeText(const QDateTime& date)
{
    static PatternFormatter formatter(u"h:mm a");
    return formatter.format(date);
}

QString dateText(const QDateTime& date)
{
    static PatternFormatter formatter(u"EEEE, MMM d");
    return formatter.format(date);
}

QString shortDateText(const QDateTime& date)
{
    static PatternFormatter formatter(u"EEE, MMM d");
    return formatter.format(date);
}

QString shortDateTextWithoutComma(const QDateTime& date)
{
    static PatternFormatter formatter(u"EEE MMM d");
    return formatter.format(date);
}

QString minuteText(const QDateTime& date)
{
    static PatternFormatter formatter(u"yyyy-MM-dd HH:mm");
    return formatter.format(date);
}

}  // namespace DynamicUIDemo
