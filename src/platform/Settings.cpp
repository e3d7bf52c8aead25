#include "platform/Settings.h"

#include "platform/BoundedFile.h"
#include "platform/SetAside.h"
#include "platform/SettingsWriter.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <variant>

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

bool isIniSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A key or section name of the file as QSettings reads it: "\\" is "/", "%XX" and "%UXXXX"
// are escaped characters.
QString unescapedIniKey(QByteArrayView text)
{
    const QString decoded = QString::fromUtf8(text);
    QString result;
    for (qsizetype i = 0; i < decoded.size();) {
        const QChar c = decoded[i];
        if (c == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < decoded.size()) {
            const qsizetype first = decoded[i + 1] == u'U' ? i + 2 : i + 1;
            const qsizetype digits = decoded[i + 1] == u'U' ? 4 : 2;
            bool ok = false;
            const ushort code = first + digits <= decoded.size()
                                    ? QStringView(decoded).sliced(first, digits).toUShort(&ok, 16)
                                    : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits;
                continue;
            }
        }
        result += c;
        ++i;
    }
    return result;
}

// The text after "=" on the line of an INI file that sets `key`, undecoded, split into lines as
// QSettings splits them: a line break inside double quotes or after a backslash continues the
// line, and ";" outside quotes starts a comment, which is kept here as part of what the line
// holds. The last line that sets the key wins, as in QSettings.
std::optional<QByteArray> iniValueText(QByteArrayView data, const QString& key)
{
    std::optional<QByteArray> found;
    QString section;
    qsizetype i = 0;
    const qsizetype size = data.size();
    while (i < size) {
        while (i < size && isIniSpace(data[i]))
            ++i;
        const qsizetype start = i;
        qsizetype equals = -1;
        qsizetype logicalEnd = -1;
        bool inQuotes = false;
        while (i < size) {
            const char c = data[i];
            if (c == '\\') {
                i += 2;
                // A backslash before a two-character line break continues the line over both.
                if (i < size &&
                    ((data[i - 1] == '\n' && data[i] == '\r') || (data[i - 1] == '\r' && data[i] == '\n')))
                    ++i;
                continue;
            }
            if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '=' && !inQuotes && equals < 0) {
                equals = i;
            } else if ((c == '\n' || c == '\r') && !inQuotes) {
                break;
            } else if (c == ';' && !inQuotes) {
                logicalEnd = i;
                while (i < size && data[i] != '\n' && data[i] != '\r')
                    ++i;
                break;
            }
            ++i;
        }
        i = std::min(i, size);
        if (logicalEnd < 0)
            logicalEnd = i;
        if (start >= logicalEnd)
            continue;
        if (data[start] == '[') {
            qsizetype close = data.sliced(start, logicalEnd - start).indexOf(']');
            close = close < 0 ? logicalEnd : start + close;
            const QByteArrayView name = data.sliced(start + 1, close - start - 1).trimmed();
            if (QString::fromUtf8(name).compare(u"general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (QString::fromUtf8(name).compare(u"%general", Qt::CaseInsensitive) == 0)
                section = QString::fromUtf8(name.sliced(1)) + u'/';
            else
                section = unescapedIniKey(name) + u'/';
        } else if (equals >= 0) {
            if (section + unescapedIniKey(data.sliced(start, equals - start).trimmed()) == key)
                found = data.sliced(equals + 1, i - equals - 1).trimmed().toByteArray();
        }
    }
    return found;
}

// A key as QSettings keeps it: without empty parts between, before or after its slashes.
QString normalizedKey(const QString& key)
{
    if (!key.startsWith(u'/') && !key.endsWith(u'/') && !key.contains(QStringLiteral("//")))
        return key;
    return key.split(u'/', Qt::SkipEmptyParts).join(u'/');
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

Settings::Settings(const QString& filePath, const QDateTime& openedAt) : m_path(filePath)
{
    // Read within bounds before anything else looks at the file: a pipe would block start-up
    // for good, and a link to a device could fill the memory.
    std::variant<QByteArray, BoundedReadFailure> read = readBoundedFile(filePath, maxFileBytes);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&read)) {
        switch (failure->kind) {
        case BoundedReadFailure::Kind::absent:
            break;
        case BoundedReadFailure::Kind::notRegular:
        case BoundedReadFailure::Kind::tooLarge: {
            m_existedWhenOpened = true;
            QString why;
            if (const auto aside = moveAside(filePath, openedAt, &why)) {
                m_keptAsidePath = *aside;
                m_keptAsideReason = failure->reason;
                qWarning("Settings: %s cannot be read (%s); it was set aside as %s", qPrintable(filePath),
                         qPrintable(failure->reason), qPrintable(*aside));
            } else {
                refuseWrites(failure->reason + QStringLiteral(", and it could not be set aside: ") + why);
            }
            break;
        }
        case BoundedReadFailure::Kind::unreadable:
            // Maybe a folder of another user, left by a start with administrator rights: the
            // file may hold every approval, so it counts as there, and stays as it is.
            m_existedWhenOpened = true;
            refuseWrites(failure->reason);
            break;
        }
        m_writer = std::make_unique<SettingsWriter>(filePath, false);
        return;
    }
    m_existedWhenOpened = true;
    m_openedText = std::get<QByteArray>(std::move(read));
    bool unreadable = false;
    {
        const std::unique_ptr<QSettings> reader = openSettingsFile(filePath);
        for (const QString& key : reader->allKeys())
            m_values.insert(key, reader->value(key));
        unreadable = reader->status() == QSettings::FormatError;
    }
    if (unreadable) {
        // QSettings would write what it could read of the file over all of it.
        if (const auto copy = copyAside(filePath, m_openedText, openedAt)) {
            m_keptAsidePath = *copy;
            m_keptAsideReason = QStringLiteral("it is not in the expected format");
            qWarning("Settings: %s is not a settings file; it was copied to %s", qPrintable(filePath),
                     qPrintable(*copy));
        } else {
            qWarning("Settings: %s is not a settings file and could not be copied; it is left as it is",
                     qPrintable(filePath));
            m_writesRefused = true;
        }
    }
    m_writer = std::make_unique<SettingsWriter>(filePath, unreadable);
}

void Settings::refuseWrites(const QString& reason)
{
    m_readFailure = reason;
    m_writesRefused = true;
    qWarning("Settings: %s cannot be read (%s); Tarv starts with its defaults and leaves it as it is",
             qPrintable(m_path), qPrintable(reason));
}

Settings::~Settings() = default;

QString Settings::userSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Tarv/Tarv.conf");
}

QString Settings::readFailure() const
{
    return m_readFailure;
}

QString Settings::keptAsidePath() const
{
    return m_keptAsidePath;
}

QString Settings::keptAsideReason() const
{
    return m_keptAsideReason;
}

QString Settings::filePath() const
{
    return QFileInfo(m_path).absoluteFilePath();
}

bool Settings::contains(const QString& key) const
{
    return m_values.contains(normalizedKey(key));
}

QVariant Settings::value(const QString& key) const
{
    return m_values.value(normalizedKey(key));
}

std::optional<QString> Settings::text(const QString& key) const
{
    const QVariant value = this->value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

std::optional<std::int64_t> Settings::wholeNumber(const QString& key) const
{
    const QVariant value = this->value(key);
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
    const QVariant value = this->value(key);
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
    const QVariant value = this->value(key);
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
    const QVariant value = this->value(key);
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    // A value edited by hand into the file comes back as plain text, or as a list where it
    // held commas.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).toUtf8();
    return value.toString().toUtf8();
}

std::optional<QByteArray> Settings::storedForm(const QString& key) const
{
    if (!contains(key))
        return std::nullopt;
    if (value(key).typeId() != QMetaType::QByteArray && !m_changedKeys.contains(normalizedKey(key))) {
        if (auto text = iniValueText(m_openedText, key))
            return text;
    }
    return bytes(key);
}

std::optional<SettingsError> Settings::setText(const QString& key, const QString& value)
{
    const QVariant stored(value);
    return write(key, &stored);
}

std::optional<SettingsError> Settings::setWholeNumber(const QString& key, std::int64_t value)
{
    const QVariant stored(QString::fromLatin1(QByteArray::number(qint64(value))));
    return write(key, &stored);
}

std::optional<SettingsError> Settings::setBoolean(const QString& key, bool value)
{
    const QVariant stored(value ? QStringLiteral("true") : QStringLiteral("false"));
    return write(key, &stored);
}

std::optional<SettingsError> Settings::setDouble(const QString& key, double value)
{
    if (!std::isfinite(value))
        return SettingsError::formatError;
    const QVariant stored(doubleText(value));
    return write(key, &stored);
}

std::optional<SettingsError> Settings::setBytes(const QString& key, const QByteArray& value)
{
    const QVariant stored(value);
    return write(key, &stored);
}

std::optional<SettingsError> Settings::remove(const QString& key)
{
    return write(key, nullptr);
}

// Sets the value, or removes the key when there is none.
std::optional<SettingsError> Settings::write(const QString& key, const QVariant* value)
{
    if (m_writesRefused)
        return SettingsError::accessError;
    const QString stored = normalizedKey(key);
    if (value) {
        m_values.insert(stored, *value);
        m_writer->set(stored, *value);
    } else {
        // QSettings removes the keys below a key with it.
        if (stored.isEmpty()) {
            m_values.clear();
        } else {
            m_values.remove(stored);
            const QString below = stored + u'/';
            for (auto it = m_values.lowerBound(below); it != m_values.end() && it.key().startsWith(below);)
                it = m_values.erase(it);
        }
        m_writer->remove(stored);
    }
    m_changedKeys.insert(stored);
    return std::nullopt;
}

std::optional<SettingsError> Settings::lastWriteError() const
{
    return m_writer->lastError();
}

QString Settings::lastWriteErrorReason() const
{
    return m_writer->lastErrorReason();
}

void Settings::setFileWriteHandler(std::function<void(std::optional<SettingsError>)> handler)
{
    m_writer->setResultHandler(std::move(handler));
}

void Settings::waitForWrites()
{
    m_writer->waitUntilIdle();
}

QFuture<std::optional<SettingsError>> Settings::written()
{
    return m_writer->written();
}
