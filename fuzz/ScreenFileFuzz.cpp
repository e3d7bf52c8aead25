// Feeds arbitrary bytes to the screen file reader, which reads every file a user drops into
// the Screens folder, and runs what it accepts through the evaluators the page uses. A file
// that would load must list what it does in words that tell apart every two of its actions,
// commands and fetches that do different things.

#include "screens/format/CustomScreen.h"
#include "screens/format/ValueEvaluators.h"
#include "support/ActionEffect.h"

#include <QHash>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The words shown for one thing the file does must stand for that one effect only.
void expectOneEffect(QHash<QString, QString>& effects, const QString& shown, const QString& effect)
{
    const auto seen = effects.constFind(shown);
    if (seen == effects.cend())
        effects.insert(shown, effect);
    else if (*seen != effect)
        std::abort();
}

void checkApprovalWords(const CustomScreen& screen)
{
    QHash<QString, QString> actions;
    for (const CustomScreen::Widget& widget : screen.widgets)
        if (const auto* button = std::get_if<CustomScreen::ButtonWidget>(&widget))
            expectOneEffect(actions, CustomScreen::actionDetail(button->action), effectOf(button->action));
    // What a source runs or fetches is its identity: the command, or the address and headers.
    QHash<QString, QString> sources;
    for (const CustomScreen::DataSource& source : screen.sources) {
        const std::optional<CustomScreen::Permission> permission = screen.sourcePermission(source);
        if (!permission)
            continue;
        QString shown = permission->title.section(u' ', 0, 0) + u' ' + permission->detail;
        for (const auto& [name, value] : permission->headers)
            shown += u'\n' + name + QStringLiteral(": ") + value;
        expectOneEffect(sources, shown, permission->identity);
    }
    (void)screen.fingerprint();
}

}  // namespace

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
    if (!hasErrors(issues))
        checkApprovalWords(*screen);
    // Every text of the file filled with its own bytes as values.
    DisplayValues values;
    for (const CustomScreen::DataSource& source : screen->sources)
        values.insert(source.key, QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    (void)firstNumber(values.value(QStringLiteral("x")));
    for (const QString& key : screen->usedKeys())
        (void)isTruthy(QStringLiteral("{{") + key + QStringLiteral("}}"), values);
    return 0;
}
