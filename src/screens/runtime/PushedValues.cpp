#include "screens/runtime/PushedValues.h"

#include "platform/BackgroundFileWriter.h"
#include "platform/BoundedFile.h"
#include "platform/Scalars.h"
#include "platform/SetAside.h"
#include "control/PushName.h"
#include "screens/format/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cmath>
#include <variant>

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

} // namespace

PushedValues::PushedValues(std::optional<QString> file)
    : m_file(std::move(file)), m_lastSave(QtFuture::makeReadyFuture(std::optional<QString>()))
{
    if (!m_file)
        return;
    m_writer = std::make_unique<BackgroundFileWriter>([](const QString& path, const QString& reason) {
        qCWarning(tarvPushed).noquote() << "Pushed values: could not write" << path << ":" << reason;
    });
    load();
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
    if (std::optional<QString> refusal = pushRefusal(name, value))
        return refusal;

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
    // Within bounds, as every file from outside: a pipe here would hold start-up for good.
    std::variant<QByteArray, BoundedReadFailure> read = readBoundedFile(*m_file, maxFileBytes);
    if (const auto* failure = std::get_if<BoundedReadFailure>(&read)) {
        switch (failure->kind) {
        case BoundedReadFailure::Kind::absent:
            return;
        case BoundedReadFailure::Kind::notRegular:
        case BoundedReadFailure::Kind::tooLarge:
            setAside(failure->reason);
            return;
        case BoundedReadFailure::Kind::unreadable:
            m_refusal = QStringLiteral("it could not be read when Tarv started (%1), and is left as it is")
                            .arg(failure->reason);
            m_loadProblem = *m_file + QStringLiteral(" cannot be read (") + failure->reason +
                            QStringLiteral("); pushed values are not saved until Tarv starts again");
            qCWarning(tarvPushed).noquote() << "Pushed values:" << m_loadProblem;
            return;
        }
    }
    // The parser also mends lone surrogates, as setValue does.
    const std::optional<QJsonValue> document = JsonText::parse(std::get<QByteArray>(read));
    if (!document || !document->isObject()) {
        setAside(QStringLiteral("it is not a JSON object"));
        return;
    }
    const QJsonObject all = document->toObject();
    qsizetype damaged = 0;
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QJsonObject member = it.value().toObject();
        const QJsonValue text = member.value(QStringLiteral("text"));
        const QJsonValue seconds = member.value(QStringLiteral("date"));
        const auto date = seconds.isDouble() ? dateFromStored(seconds.toDouble()) : std::nullopt;
        if (!it.value().isObject() || member.size() != 2 || !text.isString() || !date || !isValidName(it.key())) {
            ++damaged;
            continue;
        }
        m_entries.insert(it.key(), Entry{text.toString(), *date});
    }
    while (m_entries.size() > maxEntries)
        evictOldest();
    if (damaged > 0)
        setAside(QStringLiteral("%1 of its %2 entries could not be read").arg(damaged).arg(all.size()));
}

// Keeps what is at the file's place aside, then writes the values that could be read in its place.
void PushedValues::setAside(const QString& reason)
{
    QString why;
    if (const std::optional<QString> aside = moveAside(*m_file, QDateTime::currentDateTime(), &why)) {
        m_loadProblem = *m_file + QStringLiteral(" could not be read whole (") + reason +
                        QStringLiteral("); it was kept as ") + *aside;
        qCWarning(tarvPushed).noquote() << "Pushed values:" << m_loadProblem;
        save();
        return;
    }
    m_refusal = QStringLiteral("it could not be read when Tarv started (%1) nor set aside (%2), and is left as it is")
                    .arg(reason, why);
    m_loadProblem = *m_file + QStringLiteral(" could not be read whole (") + reason +
                    QStringLiteral(") nor set aside (") + why +
                    QStringLiteral("); pushed values are not saved until Tarv starts again");
    qCWarning(tarvPushed).noquote() << "Pushed values:" << m_loadProblem;
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
    if (m_refusal) {
        m_lastSave = QtFuture::makeReadyFuture(std::optional<QString>(*m_refusal));
        return;
    }
    QJsonObject all;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        all.insert(it.key(), QJsonObject{{QStringLiteral("text"), it->text},
                                         {QStringLiteral("date"), storedSeconds(it->date)}});
    }
    m_lastSave = m_writer->write(*m_file, QJsonDocument(all).toJson(QJsonDocument::Compact));
}

void PushedValues::waitUntilSaved()
{
    if (m_writer)
        m_writer->waitUntilIdle();
}
