#pragma once
// The values pushed from the shell with `tarv set <name> <value>`: at most 64 named texts with
// the moment each was pushed, kept in "pushed-values.json" so they survive a restart. A file
// that cannot be read whole is never written over: it is set aside, or left as it is.

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class BackgroundFileWriter;

class PushedValues {
public:
    struct Entry {
        QString text;
        QDateTime date;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    static constexpr qsizetype maxEntries = 64;
    // 64 values of 8 KB, each byte written as a six-character escape at worst, fit well.
    static constexpr qint64 maxFileBytes = qint64(8) * 1024 * 1024;

    // Loads the file at once when one is given; without a file nothing is read or written.
    // A file that is not a regular file, is too large, or holds entries that are not pushed
    // values is renamed "pushed-values.json.unreadable-<yyyyMMdd-HHmmss>" and the good
    // entries are written anew; one that cannot be read at all is left as it is, and no value
    // is written to it.
    explicit PushedValues(std::optional<QString> file = std::nullopt);
    ~PushedValues();
    PushedValues(const PushedValues&) = delete;
    PushedValues& operator=(const PushedValues&) = delete;

    // "pushed-values.json" in the "Tarv" folder of the user's data folder.
    static QString defaultFile();
    static bool isValidName(const QString& name);

    // Stores the value, or returns why it was refused (the store is then unchanged). A lone
    // surrogate in the value is stored as U+FFFD.
    std::optional<QString> setValue(const QString& name, const QString& value, const QDateTime& date);
    std::optional<Entry> entry(const QString& name) const;
    const QHash<QString, Entry>& entries() const { return m_entries; }
    const std::optional<QString>& file() const { return m_file; }
    // What was done with a file that could not be read whole at start, for the log; empty
    // when it was read, or there was none.
    const QString& loadProblem() const { return m_loadProblem; }

    // Hands every entry to the file's writer thread, so a burst of pushes never waits on the
    // disk; a failed write is logged and the values stay in memory for the next save.
    void save();
    // The outcome of the last save: none once the file holds the values, else why they could
    // not be saved. Always none without a file.
    QFuture<std::optional<QString>> lastSave() const { return m_lastSave; }
    // Returns once the file holds what the last save handed over.
    void waitUntilSaved();

    // Called with the name after each stored value.
    std::function<void(const QString&)> onChange;

private:
    void load();
    void setAside(const QString& reason);
    void evictOldest();

    QHash<QString, Entry> m_entries;
    std::optional<QString> m_file;
    std::unique_ptr<BackgroundFileWriter> m_writer;
    QFuture<std::optional<QString>> m_lastSave;
    QString m_loadProblem;
    // Why nothing may be written to the file; none while it may.
    std::optional<QString> m_refusal;
};
