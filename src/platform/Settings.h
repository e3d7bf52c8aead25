#pragma once
// The application's stored settings: one INI file read through QSettings. Reads are typed and
// parse the text the file gives back. A write takes effect at once for every read, and reaches
// the disk atomically on a thread of its own, so the caller never waits on the disk. A file
// that cannot be read as settings is kept aside before anything can overwrite it; one that
// cannot be read at all is left as it is, and nothing is written over it.

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class SettingsWriter;

enum class SettingsError {
    accessError, // the file could not be written
    formatError, // the file exists but is not a settings file
};

QString settingsErrorText(SettingsError error);

class Settings {
public:
    // Tests pass a temporary file; the application passes userSettingsPath(). A file that is
    // not a settings file is copied to "<file>.unreadable-<yyyyMMdd-HHmmss of openedAt>" (with
    // "-2", "-3" … when that name is taken); one that is not a regular file, or is larger than
    // maxFileBytes, is renamed so, unread. When that fails, or the file cannot be read at all,
    // every write is refused.
    explicit Settings(const QString& filePath, const QDateTime& openedAt = QDateTime::currentDateTime());
    // Waits for every write made so far to reach the file.
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    static constexpr qint64 maxFileBytes = qint64(16) * 1024 * 1024;

    // ~/.config/Tarv/Tarv.conf (following XDG_CONFIG_HOME).
    static QString userSettingsPath();

    QString filePath() const;
    // Whether anything was, or may have been, at the path when these settings were opened:
    // false only when the file is known not to exist (its folder could be searched and the
    // name is absent). Only such settings mean a new installation.
    bool existedWhenOpened() const { return m_existedWhenOpened; }
    // Why the file could not be read when these settings were opened ("Permission denied"):
    // the settings then hold nothing and refuse every write, so the file stays as it is. Empty
    // when it was read or did not exist.
    QString readFailure() const;
    // Where the file found when these settings were opened was kept because it could not be
    // used as settings, and why ("it is a named pipe, not a regular file"); empty when it was
    // used as it was.
    QString keptAsidePath() const;
    QString keptAsideReason() const;
    bool contains(const QString& key) const;

    // Each read gives none when the key is absent or its value is not of that kind.
    std::optional<QString> text(const QString& key) const;
    std::optional<std::int64_t> wholeNumber(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    std::optional<double> finiteDouble(const QString& key) const;
    std::optional<QByteArray> bytes(const QString& key) const;

    // The value in a form that loses nothing, for keeping a copy of a value that could not be
    // used: bytes are given as stored; any other value (text, or a list, number or map typed
    // into the file by hand) as its text exactly as the file held it when these settings were
    // opened. QSettings decodes such text lossily (quotes and spaces go) and every write of the
    // file keeps only the decoded form. None when the key is absent.
    std::optional<QByteArray> storedForm(const QString& key) const;

    // Each write returns before the file is written: its result is an error known at once (the
    // write is refused), and a failure of the file write shows in lastWriteError().
    std::optional<SettingsError> setText(const QString& key, const QString& value);
    std::optional<SettingsError> setWholeNumber(const QString& key, std::int64_t value);
    std::optional<SettingsError> setBoolean(const QString& key, bool value);
    // A value that is not finite is refused as a format error and nothing is written.
    std::optional<SettingsError> setDouble(const QString& key, double value);
    std::optional<SettingsError> setBytes(const QString& key, const QByteArray& value);
    std::optional<SettingsError> remove(const QString& key);

    // The failure of the last write of the file; none before the first and once one succeeds.
    // A write after a failure writes the changes that failed too.
    std::optional<SettingsError> lastWriteError() const;
    // The system's reason for that failure ("No space left on device"); empty when none or
    // not known.
    QString lastWriteErrorReason() const;
    // Called after every write of the file with its result, on the thread that writes it.
    void setFileWriteHandler(std::function<void(std::optional<SettingsError>)> handler);
    // Blocks until every write made so far reached the file or failed.
    void waitForWrites();
    // Finishes once every write made so far is in the file (with none), or once the file write
    // that held them failed (with its error; they are written again with the next change).
    // Finishes at once when nothing is waiting to be written.
    QFuture<std::optional<SettingsError>> written();

private:
    std::optional<SettingsError> write(const QString& key, const QVariant* value);
    void refuseWrites(const QString& reason);
    QVariant value(const QString& key) const;

    QString m_path;
    // Every value as QSettings gives it back: read from the file when it was opened, then as
    // written since.
    QMap<QString, QVariant> m_values;
    // The file's bytes when it was opened, and the keys written or removed since.
    QByteArray m_openedText;
    QSet<QString> m_changedKeys;
    // The file could not be read and no copy of it could be made.
    bool m_writesRefused = false;
    bool m_existedWhenOpened = false;
    QString m_readFailure;
    QString m_keptAsidePath;
    QString m_keptAsideReason;
    std::unique_ptr<SettingsWriter> m_writer;
};
