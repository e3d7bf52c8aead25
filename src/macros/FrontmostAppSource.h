#pragma once
// Where the automatic profile switch learns which application the user works in: the
// frontmost application now, and a signal each time another one comes to the front.

#include <QObject>
#include <QString>

#include <optional>

// An application as the desktop names it: its desktop file id and its display name; either
// may be unknown.
struct FrontmostApp {
    std::optional<QString> bundleID;
    std::optional<QString> name;

    bool operator==(const FrontmostApp&) const = default;
};

class FrontmostAppSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // False when this desktop cannot tell the frontmost application (no X11 display, a
    // Wayland desktop that offers no way to learn it), or not yet; such a source reports
    // nothing.
    virtual bool isAvailable() const = 0;
    // Why the source is not available, for the settings view; empty when it is, and while
    // the source is still finding out.
    virtual QString unavailableReason() const = 0;
    // Which way the application in front is learnt, in one sentence for the settings view;
    // empty when none is.
    virtual QString description() const { return {}; }
    // The application in front now, when there is one and the source can tell.
    virtual std::optional<FrontmostApp> frontmostApp() = 0;

signals:
    // Another application came to the front.
    void activated(const FrontmostApp& app);
    // isAvailable, unavailableReason or description changed.
    void availabilityChanged();
};

