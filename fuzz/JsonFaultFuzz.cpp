// Checks the two readers of JSON text against each other on arbitrary bytes: Qt's parser, as
// JsonText asks it, decides whether a text is JSON; the fault finder must name a place in
// exactly the texts it refuses, and that place is the one the error message gives.

#include "screens/format/JsonFault.h"
#include "screens/format/JsonText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const bool taken = JsonText::parse(text, &error).has_value();
    const std::optional<JsonFault> fault = JsonFault::find(text);
    if (taken == fault.has_value()) {
        std::fprintf(stderr, "Qt %s the text, and the fault finder %s\n", taken ? "takes" : "refuses",
                     fault ? qPrintable(fault->message) : "finds no fault");
        std::abort();
    }
    if (!fault)
        return 0;
    if (fault->offset < 0 || fault->offset > text.size())
        std::abort();
    const QString place = JsonFault::placeText(text, fault->offset);
    if (!error.startsWith(place + QStringLiteral(": ") + fault->message))
        std::abort();
    return 0;
}
