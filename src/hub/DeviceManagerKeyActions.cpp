// Key actions: pressing a home key by position with its latch, and carrying out a macro
// action: HID reports through the device, typed text at a steady pace, desktop actions
// through the action runner, and page switches.

#include "hub/DeviceManager.h"

#include "macros/DesktopActionRunner.h"
#include "macros/HIDKeyTables.h"
#include "macros/MacroAction.h"
#include "macros/ProfileStore.h"
#include "pages/HomePage.h"
#include "platform/ContextContinuation.h"
#include "platform/Graphemes.h"

#include <QPointer>

using namespace TarvUSB;

bool DeviceManager::sendHidEmit(HidReport report, std::uint8_t mods, std::uint16_t usage)
{
    // Written at once, never behind page updates in the send window.
    return send(Frame{takeNextSequence(), HidEmitPayload{report, mods, {usage}}});
}

QString DeviceManager::hidNotSentReason() const
{
    if (!m_serialPort)
        return QStringLiteral("Tarv is not connected to the device");
    if (m_deviceStalled)
        return QStringLiteral("the device stopped reading");
    return QStringLiteral("the report could not be written to the device");
}

void DeviceManager::pressMacroKey(int index, KeyOutcome outcome)
{
    const MacroProfile& profile = m_profiles.activeProfile();
    if (index < 0 || index >= profile.buttons.size())
        return;
    // A copy: firing the action may change the profiles (a page switch redraws, a latch saves).
    const MacroButton button = profile.buttons[index];
    if (button.action.kind() == MacroAction::Kind::unassigned)
        return;
    fireMacroKey(button.action, button.label, std::move(outcome));
    const std::optional<bool> latched = m_profiles.toggleLatchedKey(index);
    if (latched && m_activeScreen == DeviceScreen::home())
        sendDynamicUI({DynamicUIDemo::keyStateFrame(index, button, *latched, takeNextSequence())});
}

void DeviceManager::fireMacroKey(const MacroAction& action, const QString& label, KeyOutcome outcome)
{
    log(LogEntry::Direction::system, QStringLiteral("Fired ") + label + QStringLiteral(": ") + actionSummary(action));
    const auto finish = [this, label, outcome](const std::optional<QString>& failure) {
        if (failure)
            log(LogEntry::Direction::system, label + QStringLiteral(" failed: ") + *failure);
        if (outcome)
            outcome(failure);
    };

    switch (action.kind()) {
    case MacroAction::Kind::keystroke: {
        const KeyChord& chord = *action.as<KeyChord>();
        const bool sent = sendHidEmit(HidReport::keyboard, chord.modifiers.rawValue, chord.usage);
        finish(sent ? std::nullopt : std::optional(hidNotSentReason()));
        return;
    }
    case MacroAction::Kind::media: {
        const bool sent = sendHidEmit(HidReport::consumer, 0, mediaKeyUsage(*action.as<MediaKey>()));
        finish(sent ? std::nullopt : std::optional(hidNotSentReason()));
        return;
    }
    case MacroAction::Kind::openApp:
        finish(m_actionRunner->openApp(*action.as<AppTarget>()));
        return;
    case MacroAction::Kind::openURL: {
        // A screen button's address was read once, as its approval shows it: that opens.
        const MacroAction::OpenURL& open = *action.as<MacroAction::OpenURL>();
        finish(open.address.isValid() ? m_actionRunner->openURL(open.address) : m_actionRunner->openURL(open.url));
        return;
    }
    case MacroAction::Kind::runShortcut: {
        const QString& name = action.as<MacroAction::RunShortcut>()->name;
        continueOn(this, m_actionRunner->runShortcutsTool({QStringLiteral("run"), name}),
                   [finish](const ProcessResult& result) { finish(result.failure); });
        return;
    }
    case MacroAction::Kind::typeText: {
        const QString& text = action.as<MacroAction::TypeText>()->text;
        // The device types what a US layout has keys for; the log tells what it really typed.
        const QStringList skipped = untypeableCharacters(text);
        if (!skipped.isEmpty()) {
            QString typed;
            for (const QString& character : graphemes(text))
                if (!skipped.contains(character))
                    typed += character;
            log(LogEntry::Direction::system, label + QStringLiteral(" typed ") +
                                                 actionSummary(MacroAction::typeText(typed)) +
                                                 QStringLiteral(", skipping ") + skipped.join(u' '));
        }
        typeText(text, finish);
        return;
    }
    case MacroAction::Kind::screenshot:
        continueOn(this, m_actionRunner->screenshot(*action.as<ScreenshotOptions>(), std::nullopt),
                   [finish](const ProcessResult& result) { finish(result.failure); });
        return;
    case MacroAction::Kind::showScreen: {
        const QString& name = action.as<MacroAction::ShowScreen>()->screen;
        const QList<DeviceScreen> pages = availableScreens();
        const auto match = std::find_if(pages.cbegin(), pages.cend(), [&](const DeviceScreen& page) {
            return page.id().compare(name, Qt::CaseInsensitive) == 0;
        });
        if (match == pages.cend()) {
            finish(QStringLiteral("there is no page named \"") + name + QStringLiteral("\""));
            return;
        }
        showScreen(*match);
        finish(std::nullopt);
        return;
    }
    case MacroAction::Kind::unassigned:
        return;
    }
}

void DeviceManager::typeText(const QString& text, KeyOutcome outcome)
{
    if (m_typingTask)
        m_typingTask->cancel();
    const QPointer<DeviceManager> weak(this);
    auto sendCharacter = [weak](const QString& character) -> std::optional<QString> {
        if (!weak)
            return QString();
        // Characters the key tables cannot type are skipped; their pause still passes.
        const std::optional<KeyChord> chord = hidChordForCharacter(character);
        if (!chord || weak->sendHidEmit(HidReport::keyboard, chord->modifiers.rawValue, chord->usage))
            return std::nullopt;
        return weak->hidNotSentReason();
    };
    // The old task goes with its pending step: it sends nothing more.
    m_typingTask = std::make_unique<TypingTask>(text, sendCharacter, m_typingScheduler, std::move(outcome));
    m_typingTask->start();
}
