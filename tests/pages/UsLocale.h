#pragma once
// Clock texts in tests come out in US English, whatever the machine's locale: the
// formatters take ICU's default locale when they are first used.

#include <unicode/locid.h>

namespace {
[[maybe_unused]] const bool usLocaleForClockTexts = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
    return U_SUCCESS(status);
}();
}  // namespace
