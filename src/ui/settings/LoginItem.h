#pragma once
// Whether Tarv opens at login: an XDG autostart entry of its own, ~/.config/autostart/tarv.desktop,
// is the only stored state. The entry counts as on while it exists and neither hides itself
// nor is switched off by the desktop's own key; the text of the last failed change is kept
// until a change succeeds.

#include <QObject>
#include <QString>

#include <optional>

class LoginItem : public QObject {
    Q_OBJECT
public:
    // The entry's path and the program it starts; by default the autostart folder of
    // XDG_CONFIG_HOME and the running executable.
    explicit LoginItem(QString entryPath = defaultEntryPath(), QString program = QString(), QObject* parent = nullptr);

    static QString defaultEntryPath();
    // The entry's Exec value for a program path: quoted as the desktop entry format requires.
    static QString execValue(const QString& program);

    bool isEnabled() const { return m_isEnabled; }
    const std::optional<QString>& failure() const { return m_failure; }
    const QString& entryPath() const { return m_entryPath; }

    // Reads the entry again; leaves the failure alone.
    void refresh();
    // Writes or removes the entry, keeps or clears the failure, then reads the entry again, so
    // the state is what the file says, not what was asked for.
    void setEnabled(bool enabled);

signals:
    void isEnabledChanged(bool enabled);
    void failureChanged();

private:
    std::optional<QString> writeEntry() const;
    std::optional<QString> removeEntry() const;
    void setFailure(const std::optional<QString>& failure);

    QString m_entryPath;
    QString m_program;
    bool m_isEnabled = false;
    std::optional<QString> m_failure;
};
