#pragma once
// The hub test fixture with what touch and key tests share: touches handed straight to
// dispatch, the HID reports the device received, key edits of the active profile, and a
// typing pace the test steps by hand.

#include "HubFixture.h"

#include "macros/MacroAction.h"

#include <QMap>

#include <chrono>
#include <functional>

class TouchTest : public HubTest {
protected:
    // Key 0 of the default profile (a latching keystroke) and key 4 (the letter A).
    static constexpr std::uint16_t key0X = 20, key0Y = 50;
    static constexpr std::uint16_t key4X = 20, key4Y = 140;

    struct PendingStep {
        std::chrono::milliseconds delay;
        QPointer<QObject> context;
        std::function<void()> step;
    };
    QList<PendingStep> pendingSteps;

    void makeManualTypingHub()
    {
        makeHub();
        hub->setTypingScheduler([this](std::chrono::milliseconds delay, QObject* context, std::function<void()> step) {
            pendingSteps.append({delay, context, std::move(step)});
        });
    }

    // Runs the oldest pending pause to its end; false when none waits.
    bool runNextStep()
    {
        if (pendingSteps.isEmpty())
            return false;
        PendingStep next = pendingSteps.takeFirst();
        advance(next.delay);
        if (next.context)
            next.step();
        return true;
    }

    void touch(std::uint16_t x, std::uint16_t y, TarvUSB::TouchPhase phase)
    {
        hub->handleDeviceEvent(TarvUSB::TouchPayload{x, y, phase});
    }

    void tap(std::uint16_t x, std::uint16_t y)
    {
        touch(x, y, TarvUSB::TouchPhase::down);
        touch(x, y, TarvUSB::TouchPhase::up);
    }

    QList<TarvUSB::HidEmitPayload> hidEmits() const
    {
        QList<TarvUSB::HidEmitPayload> out;
        for (const TarvUSB::Frame& frame : device.received())
            if (const auto* hid = frame.get<TarvUSB::HidEmitPayload>())
                out.append(*hid);
        return out;
    }

    void setKey(int index, const MacroAction& action, const QString& label)
    {
        MacroProfile profile = profiles->activeProfile();
        profile.buttons[index].action = action;
        profile.buttons[index].label = label;
        profile.buttons[index].isToggle = false;
        profiles->updateKey(profile, QStringLiteral("Edit"));
    }

    QString deviceText(std::uint32_t node) const
    {
        const TarvFake::FakeWidget* widget = device.widgets().find(node);
        return widget ? widget->text : QString();
    }
};
