#include "platform/Settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// What a value holds as text: an INI file gives every scalar back as a string, while a value
// written in this run may still be cached with its own type.
std::optional<QByteArray> asciiText(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().trimmed().toUtf8();
}

template <class T> std::optional<T> parseWhole(const QByteArray& text)
{
    T number{};
    const char* begin = text.constData();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr != end || begin == end)
        return std::nullopt;
    return number;
}

std::optional<double> parseFinite(const QByteArray& text)
{
    double number = 0;
    const char* begin = text.constData();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr != end || begin == end || !std::isfinite(number))
        return std::nullopt;
    return number;
}

QString doubleText(double value)
{
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc())
        return {};
    return QString::fromLatin1(buffer, ptr - buffer);
}

} // namespace

QString settingsErrorText(SettingsError error)
{
    switch (error) {
    case SettingsError::accessError: return QStringLiteral("The settings file could not be written");
    case SettingsError::formatError: return QStringLiteral("The settings file is not in the expected format");
    }
    return {};
}

Settings::Settings(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
    // QSettings then writes through QSaveFile: a reader never sees a half-written file.
    m_settings->setAtomicSyncRequired(true);
}

Settings::~Settings() = default;

QString Settings::userSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Tarv/Tarv.conf");
}

QString Settings::filePath() const
{
    return m_settings->fileName();
}

bool Settings::contains(const QString& key) const
{
    return m_settings->contains(key);
}

std::optional<QString> Settings::text(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<std::int64_t> Settings::wholeNumber(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        return ok ? std::optional<std::int64_t>(number) : std::nullopt;
    }
    default:
        break;
    }
    if (const auto text = asciiText(value))
        return parseWhole<std::int64_t>(*text);
    return std::nullopt;
}

std::optional<bool> Settings::boolean(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const auto text = asciiText(value);
    if (!text)
        return std::nullopt;
    const QByteArray lower = text->toLower();
    if (lower == "true" || lower == "1")
        return true;
    if (lower == "false" || lower == "0")
        return false;
    return std::nullopt;
}

std::optional<double> Settings::finiteDouble(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const double number = value.toDouble();
        return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
    }
    default:
        break;
    }
    if (const auto text = asciiText(value))
        return parseFinite(*text);
    return std::nullopt;
}

std::optional<QByteArray> Settings::bytes(const QString& key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    // A value edited by hand into the file comes back as plain text.
    if (value.typeId() == QMetaType::QString)
        return value.toString().toUtf8();
    return std::nullopt;
}

std::optional<SettingsError> Settings::setText(const QString& key, const QString& value)
{
    m_settings->setValue(key, value);
    return flush();
}

std::optional<SettingsError> Settings::setWholeNumber(const QString& key, std::int64_t value)
{
    m_settings->setValue(key, QString::fromLatin1(QByteArray::number(qint64(value))));
    return flush();
}

std::optional<SettingsError> Settings::setBoolean(const QString& key, bool value)
{
    m_settings->setValue(key, value ? QStringLiteral("true") : QStringLiteral("false"));
    return flush();
}

std::optional<SettingsError> Settings::setDouble(const QString& key, double value)
{
    if (!std::isfinite(value))
        return SettingsError::formatError;
    m_settings->setValue(key, doubleText(value));
    return flush();
}

std::optional<SettingsError> Settings::setBytes(const QString& key, const QByteArray& value)
{
    m_settings->setValue(key, value);
    return flush();
}

std::optional<SettingsError> Settings::remove(const QString& key)
{
    m_settings->remove(key);
    return flush();
}

std::optional<SettingsError> Settings::flush()
{
    m_settings->sync();
    switch (m_settings->status()) {
    case QSettings::NoError: return std::nullopt;
    case QSettings::AccessError: return SettingsError::accessError;
    case QSettings::FormatError: return SettingsError::formatError;
    }
    return SettingsError::accessError;
}
