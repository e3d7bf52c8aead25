#pragma once
// Whether Tarv opens at login: an XDG autostart entry of its own, ~/.config/autostart/tarv.desktop,
// is the only stored state. The entry counts as on while it starts this Tarv (its Exec names
// this program) and neither hides itself nor is switched off by the desktop's own key; the text
// of the last failed change is kept until a change succeeds. The entry is read and written on
// a worker: the state shows what the file says once the answer comes.

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class OneThreadWorker;

class LoginItem : public QObject {
    Q_OBJECT
public:
    // The entry's path and the program it starts; by default the autostart folder of
    // XDG_CONFIG_HOME and the running executable. Starts reading the entry.
    explicit LoginItem(QString entryPath = defaultEntryPath(), QString program = QString(), QObject* parent = nullptr);
    ~LoginItem() override;

    static QString defaultEntryPath();
    // The entry's Exec value for a program path: quoted as the desktop entry format requires.
    static QString execValue(const QString& program);
    // Whether an entry with these contents starts `program` at login.
    static bool startsProgram(const QByteArray& contents, const QString& program);

    bool isEnabled() const { return m_isEnabled; }
    const std::optional<QString>& failure() const { return m_failure; }
    const QString& entryPath() const { return m_entryPath; }
    // The program the entry starts.
    const QString& program() const { return m_program; }
    // A change asked for by setEnabled has not answered yet.
    bool isChanging() const { return m_changes > 0; }
    // Any reading or change has not answered yet.
    bool isBusy() const { return m_pending > 0; }

    // Reads the entry again; leaves the failure alone.
    void refresh();
    // Writes or removes the entry, keeps or clears the failure, then reads the entry again, so
    // the state is what the file says, not what was asked for.
    void setEnabled(bool enabled);

signals:
    void isEnabledChanged(bool enabled);
    void failureChanged();
    // isChanging or isBusy changed.
    void busyChanged();

private:
    // These touch nothing of the object: they run on the worker.
    static bool readEntry(const QString& entryPath, const QString& program);
    static std::optional<QString> writeEntry(const QString& entryPath, const QString& program);
    static std::optional<QString> removeEntry(const QString& entryPath);

    void apply(bool enabled);
    void setFailure(const std::optional<QString>& failure);
    void finishWork(bool change);

    QString m_entryPath;
    QString m_program;
    bool m_isEnabled = false;
    std::optional<QString> m_failure;
    int m_pending = 0;
    int m_changes = 0;
    // One thread: the readings and changes apply in the order asked.
    std::unique_ptr<OneThreadWorker> m_worker;
};
