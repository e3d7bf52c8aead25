#pragma once
// The application's stored settings: one INI file read through QSettings. Reads are typed and
// parse the text the file gives back; every write reaches the disk at once, atomically.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

enum class SettingsError {
    accessError, // the file could not be written
    formatError, // the file exists but is not a settings file
};

QString settingsErrorText(SettingsError error);

class Settings {
public:
    // Tests pass a temporary file; the application passes userSettingsPath().
    explicit Settings(const QString& filePath);
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

    // Each write is flushed to the file before it returns.
    std::optional<SettingsError> setText(const QString& key, const QString& value);
    std::optional<SettingsError> setWholeNumber(const QString& key, std::int64_t value);
    std::optional<SettingsError> setBoolean(const QString& key, bool value);
    // A value that is not finite is refused as a format error and nothing is written.
    std::optional<SettingsError> setDouble(const QString& key, double value);
    std::optional<SettingsError> setBytes(const QString& key, const QByteArray& value);
    std::optional<SettingsError> remove(const QString& key);

private:
    std::optional<SettingsError> flush();

    std::unique_ptr<QSettings> m_settings;
};
