#pragma once
// The application's stored settings: one INI file read through QSettings. Reads are typed and
// parse the text the file gives back; every write reaches the disk at once, atomically. A file
// that cannot be read as settings is copied aside before anything can overwrite it.

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QSettings;
class QVariant;

enum class SettingsError {
    accessError, // the file could not be written
    formatError, // the file exists but is not a settings file
};

QString settingsErrorText(SettingsError error);

class Settings {
public:
    // Tests pass a temporary file; the application passes userSettingsPath(). A file that is
    // not a settings file is copied to "<file>.unreadable-<yyyyMMdd-HHmmss of openedAt>" (with
    // "-2", "-3" … when that name is taken); when no copy can be made, every write is refused.
    explicit Settings(const QString& filePath, const QDateTime& openedAt = QDateTime::currentDateTime());
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // ~/.config/Tarv/Tarv.conf (following XDG_CONFIG_HOME).
    static QString userSettingsPath();

    QString filePath() const;
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

    // Each write is flushed to the file before it returns.
    std::optional<SettingsError> setText(const QString& key, const QString& value);
    std::optional<SettingsError> setWholeNumber(const QString& key, std::int64_t value);
    std::optional<SettingsError> setBoolean(const QString& key, bool value);
    // A value that is not finite is refused as a format error and nothing is written.
    std::optional<SettingsError> setDouble(const QString& key, double value);
    std::optional<SettingsError> setBytes(const QString& key, const QByteArray& value);
    std::optional<SettingsError> remove(const QString& key);

private:
    void open();
    std::optional<SettingsError> write(const QString& key, const QVariant* value);
    std::optional<SettingsError> flush();

    QString m_path;
    std::unique_ptr<QSettings> m_settings;
    // The file's bytes when it was opened, and the keys written or removed since.
    QByteArray m_openedText;
    QSet<QString> m_changedKeys;
    // The file could not be read and is copied aside: QSettings keeps reporting that after
    // every write, so the first write that succeeds opens the file afresh.
    bool m_reopenAfterWrite = false;
    // The file could not be read and no copy of it could be made.
    bool m_writesRefused = false;
};
