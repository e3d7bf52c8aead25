// Feeds arbitrary bytes to the screen file reader, which reads every file a user drops into
// the Screens folder, and runs what it accepts through the evaluators the page uses.

#include "screens/format/CustomScreen.h"
#include "screens/format/ValueEvaluators.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QList<ScreenIssue> issues;
    const auto screen = CustomScreen::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                                            QStringLiteral("fuzz"), QStringLiteral("fuzz.json"), issues);
    if (!screen)
        return 0;
    for (const ScreenIssue& issue : issues)
        (void)issue.displayText();
    (void)screen->nodeCount();
    (void)screen->spriteWidgets();
    (void)screen->sourceUses();
    (void)screen->nextFrameChange(12.5);
    // Every text of the file filled with its own bytes as values.
    DisplayValues values;
    for (const CustomScreen::DataSource& source : screen->sources)
        values.insert(source.key, QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    (void)firstNumber(values.value(QStringLiteral("x")));
    for (const QString& key : screen->usedKeys())
        (void)isTruthy(QStringLiteral("{{") + key + QStringLiteral("}}"), values);
    return 0;
}
