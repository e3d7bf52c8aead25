#pragma once
// A custom screen store held in memory: screens are added by hand and approved by id, and the
// hub hears of every change as it would from the Screens folder.

#include "screens/runtime/CustomScreenStore.h"

#include <QSet>

#include <algorithm>

namespace TarvFake {

class MemoryScreenTrust final : public ScreenTrust {
public:
    bool isScreenApproved(const CustomScreen& screen) const override { return approvedIDs.contains(screen.id); }

    void approve(const QString& id)
    {
        approvedIDs.insert(id);
        if (onApprove)
            onApprove(id);
    }

    QSet<QString> approvedIDs;
};

class MemoryScreenStore final : public CustomScreenStore {
public:
    MemoryScreenStore()
        : CustomScreenStore(QString(), std::make_unique<MemoryScreenTrust>()),
          memoryTrust(static_cast<MemoryScreenTrust&>(trust()))
    {
    }

    void start() override {}

    std::optional<CustomScreen> screenWithID(const QString& id) const override
    {
        const auto found = std::find_if(loaded.cbegin(), loaded.cend(), [&](const CustomScreen& s) { return s.id == id; });
        return found == loaded.cend() ? std::nullopt : std::optional(*found);
    }
    QList<CustomScreen> screens() const override { return loaded; }

    // Adds a screen with nothing on it, approved or waiting for approval.
    void add(const QString& id, const QString& title, bool approved)
    {
        CustomScreen screen;
        screen.id = id;
        screen.title = title;
        loaded.append(screen);
        if (approved)
            memoryTrust.approvedIDs.insert(id);
        if (onChange)
            onChange();
    }

    QList<CustomScreen> loaded;
    MemoryScreenTrust& memoryTrust;
};

}  // namespace TarvFake
