#pragma once
// The small icon of an application, found through its desktop entry's Icon (a theme icon name
// or an absolute path). Entries are read away from the GUI thread; found icons are kept, so a
// list of keys draws them at once, while an application not found yet is looked up again the
// next time it is shown, so one installed meanwhile appears.

#include "macros/AppTarget.h"

#include <QIcon>
#include <QImage>
#include <QLabel>

class AppIconView : public QLabel {
    Q_OBJECT
public:
    static constexpr int side = 16;

    explicit AppIconView(QWidget* parent = nullptr);

    void setApp(const AppTarget& app);
    const AppTarget& app() const { return m_app; }
    // True while the generic symbol stands for the application (none found, or not yet).
    bool showsFallback() const { return m_showsFallback; }

    // The theme icon named by an entry's Icon value, read when first drawn; an empty icon for
    // an empty value or a file's path (see decodedIconFile()).
    static QIcon iconForEntryIcon(const QString& iconValue);
    // The picture in the icon file at `path`, decoded as every picture from outside, at most
    // four times the side; a null image when it is none. It waits for the decoder: never on
    // the GUI thread.
    static QImage decodedIconFile(const QString& path);
    // Larger icon files are not read.
    static constexpr qint64 maxIconFileBytes = 4 * 1024 * 1024;
    static QIcon fallbackIcon();

signals:
    // A lookup came back, found or not.
    void iconResolved();

private:
    void showIcon(const QIcon& icon, bool fallback);
    void lookUp();

    AppTarget m_app;
    bool m_showsFallback = true;
    quint64 m_lookup = 0;
};
