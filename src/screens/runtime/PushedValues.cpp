#include "screens/runtime/PushedValues.h"

#include "platform/BackgroundFileWriter.h"
#include "platform/Scalars.h"
#include "screens/format/JsonText.h"
#include "screens/format/PushName.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cmath>

Q_LOGGING_CATEGORY(tarvPushed, "tarv.screens")

namespace {

// Dates are stored as seconds since 2001-01-01 00:00:00 UTC.
constexpr qint64 referenceEpochMSecs = 978307200000;
// Far enough to cover any real date while keeping the milliseconds inside qint64.
constexpr double maxStoredSeconds = 1.0e12;

double storedSeconds(const QDateTime& date)
{
    return double(date.toMSecsSinceEpoch() - referenceEpochMSecs) / 1000.0;
}

std::optional<QDateTime> dateFromStored(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > maxStoredSeconds)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)) + referenceEpochMSecs,
                                          Qt::UTC);
}

bool isBlank(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

} // namespace

PushedValues::PushedValues(std::optional<QString> file) : m_file(std::move(file))
{
    if (!m_file)
        return;
    load();
    m_writer = std::make_unique<BackgroundFileWriter>([](const QString& path, const QString& reason) {
        qCWarning(tarvPushed).noquote() << "Pushed values: could not write" << path << ":" << reason;
    });
}

// The writer finishes the last save before the values go.
PushedValues::~PushedValues() = default;

QString PushedValues::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/Tarv/pushed-values.json");
}

bool PushedValues::isValidName(const QString& name)
{
    return isValidPushName(name);
}

std::optional<QString> PushedValues::setValue(const QString& name, const QString& passedValue,
                                             const QDateTime& date)
{
    // Mended here so that what is shown now is what the file gives back after a restart.
    const QString value = replaceLoneSurrogates(passedValue);
    if (!isValidName(name))
        return QStringLiteral("a name is up to 64 letters, digits, _ . and -");
    if (value.toUtf8().size() > maxValueBytes)
        return QStringLiteral("a value may be 8 KB at most");
    if (isBlank(value))
        return QStringLiteral("the value is empty");

    if (!m_entries.contains(name) && m_entries.size() >= maxEntries)
        evictOldest();
    m_entries.insert(name, Entry{value, date});
    save();
    if (onChange)
        onChange(name);
    return std::nullopt;
}

std::optional<PushedValues::Entry> PushedValues::entry(const QString& name) const
{
    const auto it = m_entries.constFind(name);
    if (it == m_entries.constEnd())
        return std::nullopt;
    return *it;
}

void PushedValues::load()
{
    QFile in(*m_file);
    if (!in.open(QIODevice::ReadOnly))
        return;
    // The parser also mends lone surrogates, as setValue does.
    const std::optional<QJsonValue> document = JsonText::parse(in.readAll());
    if (!document || !document->isObject())
        return;
    QHash<QString, Entry> loaded;
    const QJsonObject all = document->toObject();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject member = it.value().toObject();
        const QJsonValue text = member.value(QStringLiteral("text"));
        const QJsonValue seconds = member.value(QStringLiteral("date"));
        const auto date = seconds.isDouble() ? dateFromStored(seconds.toDouble()) : std::nullopt;
        if (!it.value().isObject() || member.size() != 2 || !text.isString() || !date || !isValidName(it.key()))
            return;
        loaded.insert(it.key(), Entry{text.toString(), *date});
    }
    m_entries = std::move(loaded);
    while (m_entries.size() > maxEntries)
        evictOldest();
}

void PushedValues::evictOldest()
{
    // Equal dates fall back to the name so that the choice does not depend on hash order.
    auto oldest = m_entries.begin();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->date < oldest->date || (it->date == oldest->date && it.key() < oldest.key()))
            oldest = it;
    }
    if (oldest != m_entries.end())
        m_entries.erase(oldest);
}

void PushedValues::save()
{
    if (!m_file)
        return;
    QJsonObject all;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        all.insert(it.key(), QJsonObject{{QStringLiteral("text"), it->text},
                                         {QStringLiteral("date"), storedSeconds(it->date)}});
    }
    m_writer->write(*m_file, QJsonDocument(all).toJson(QJsonDocument::Compact));
}

void PushedValues::waitUntilSaved()
{
    if (m_writer)
        m_writer->waitUntilIdle();
}
