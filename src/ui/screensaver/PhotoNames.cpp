#include "ui/screensaver/PhotoNames.h"

#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>

namespace {

QString photoStamp(const QDateTime& when)
{
    // Made once, on first use, and shared; it takes the locale and time zone current then.
    static const std::unique_ptr<icu::SimpleDateFormat> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto made = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(u"yyyy-MM-dd HHmm"), status);
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    if (!formatter)
        return when.toString(QStringLiteral("yyyy-MM-dd HHmm"));
    icu::UnicodeString text;
    formatter->format(UDate(when.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

}  // namespace

QString droppedPhotoName(const QDateTime& when, int position)
{
    return QStringLiteral("Dropped ") + photoStamp(when) + u'-' + QString::number(position);
}
