#pragma once
// Where screenshots are kept and what they are called, and moving a fresh one there
// without ever replacing an earlier picture.

#include <QDateTime>
#include <QString>

#include <optional>

class ScreenshotFiles {
public:
    // "Screenshot 2026-03-14 at 09.26.53.png": the ICU pattern "yyyy-MM-dd 'at' HH.mm.ss"
    // in the user's locale and time zone.
    static QString fileName(const QDateTime& when);

    // The Tarv setting "screenshot.location" with a leading tilde expanded (a relative
    // path counts from the home folder); without it, the XDG Pictures folder + "Screenshots".
    static QString folder(const std::optional<QString>& locationSetting);

    // Moves `source` into `folder` (created when missing) under `name`; when that name is
    // taken, " 2", " 3" … goes before the extension. The error text is for the user.
    static std::optional<QString> moveInto(const QString& source, const QString& folder,
                                           const QString& name, QString* finalPath = nullptr);
};
