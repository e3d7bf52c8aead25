#pragma once
// What the hub relies on of the screen files of the Screens folder and of their approvals.
// The store and the trust are built by the application; until the screen runtime exists,
// EmptyCustomScreenStore stands in for them and holds no screen.

#include "screens/format/CustomScreen.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// The approvals of screen files.
class ScreenTrust {
public:
    virtual ~ScreenTrust() = default;

    // True when the screen has nothing to approve or its approval is stored.
    virtual bool isScreenApproved(const CustomScreen& screen) const = 0;

    // Called with a screen id after an approval was stored or removed.
    std::function<void(const QString&)> onApprove;
    std::function<void(const QString&)> onRevoke;
};

class CustomScreenStore {
public:
    virtual ~CustomScreenStore() = default;

    // Creates and loads the Screens folder, then watches it; failures go through onLog.
    virtual void start() = 0;
    virtual std::optional<CustomScreen> screenWithID(const QString& id) const = 0;
    // Every loaded screen, approved or not, in the store's order.
    virtual QList<CustomScreen> screens() const = 0;
    // The loaded screens, in the store's order, that need no approval or hold it.
    virtual QList<CustomScreen> approvedScreens() const = 0;
    virtual ScreenTrust& trust() = 0;

    std::function<void()> onChange;
    std::function<void(const QString&)> onLog;
    std::function<void(const QSet<QString>&)> onSheetChange;
};

// Holds no approval; it belongs to a store that holds no screen.
class EmptyScreenTrust final : public ScreenTrust {
public:
    bool isScreenApproved(const CustomScreen&) const override { return false; }
};

class EmptyCustomScreenStore final : public CustomScreenStore {
public:
    explicit EmptyCustomScreenStore(QString folder) : m_folder(std::move(folder)) {}

    void start() override {}
    std::optional<CustomScreen> screenWithID(const QString&) const override { return std::nullopt; }
    QList<CustomScreen> screens() const override { return {}; }
    QList<CustomScreen> approvedScreens() const override { return {}; }
    ScreenTrust& trust() override { return m_trust; }

    const QString& folder() const { return m_folder; }

private:
    QString m_folder;
    EmptyScreenTrust m_trust;
};
