#pragma once
// The application in front as the pictures show it: followed through a wlroots compositor's
// window list, or, for the pictures of GNOME on Wayland, not at all while Tarv's extension
// does not run.

#include "macros/FrontmostAppSource.h"
#include "macros/GnomeAppSource.h"

class ShotAppSource final : public FrontmostAppSource {
public:
    bool isAvailable() const override { return !m_gnome; }
    QString unavailableReason() const override
    {
        return m_gnome ? GnomeAppSource::notRunningReason() : QString();
    }
    QString description() const override
    {
        return m_gnome ? QString()
                       : QStringLiteral("Apps are followed through the window list of this Wayland compositor "
                                        "(wlroots foreign-toplevel protocol).");
    }
    std::optional<FrontmostApp> frontmostApp() override { return std::nullopt; }

    void setGnome(bool gnome)
    {
        m_gnome = gnome;
        emit availabilityChanged();
    }

private:
    bool m_gnome = false;
};
