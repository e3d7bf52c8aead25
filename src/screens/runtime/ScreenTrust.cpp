#include "screens/runtime/ScreenTrust.h"

#include "platform/BackgroundFileWriter.h"
#include "platform/ContextContinuation.h"
#include "platform/Settings.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <sys/stat.h>

const QString ScreenTrust::storageKey = QStringLiteral("customScreens.approved.v1");

namespace {

// The stored page id → fingerprint object; none when anything in it is not text.
std::optional<QHash<QString, QString>> readApprovals(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    QHash<QString, QString> approvals;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        approvals.insert(it.key(), it.value().toString());
    }
    return approvals;
}

// Only a record that is surely not there leaves a first run possible: one that cannot be
// looked at may be there.
bool mayBeThere(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

}  // namespace

ScreenTrust::ScreenTrust(Settings* settings, QString firstRunRecord, QObject* parent)
    : QObject(parent), m_settings(settings), m_firstRunRecord(std::move(firstRunRecord))
{
    if (!m_settings)
        return;
    if (!m_settings->contains(storageKey)) {
        // Settings that exist without approvals were damaged, set aside or edited: approving
        // every screen then would run commands nobody looked at. Only a new installation, whose
        // settings file was never written, trusts what it finds; not one whose first start could
        // not store its approvals, which would approve whatever came into the folder since.
        m_isFirstRun = !m_settings->existedWhenOpened()
            && (m_firstRunRecord.isEmpty() || !mayBeThere(m_firstRunRecord));
        return;
    }
    // A value that cannot be read as approvals trusts nothing; treating it as a first run
    // would let damaged settings approve every screen, commands and all, without asking.
    if (const std::optional<QByteArray> stored = m_settings->bytes(storageKey))
        m_approved = readApprovals(*stored).value_or(QHash<QString, QString>());
}

ScreenTrust::~ScreenTrust() = default;

bool ScreenTrust::isScreenApproved(const CustomScreen& screen) const
{
    return isApprovedIn(m_approved, screen);
}

bool ScreenTrust::isApprovedIn(const QHash<QString, QString>& approved, const CustomScreen& screen)
{
    const std::optional<QString> fingerprint = screen.fingerprint();
    if (!fingerprint)
        return true;
    const auto found = approved.constFind(screen.id);
    return found != approved.cend() && *found == *fingerprint;
}

void ScreenTrust::approveScreen(const CustomScreen& screen)
{
    if (isScreenApproved(screen))
        return;
    m_approved.insert(screen.id, screen.fingerprint().value_or(QString()));
    write();
    emit approvedChanged();
    if (onApprove)
        onApprove(screen.id);
}

void ScreenTrust::revokeScreen(const QString& id)
{
    if (!m_approved.remove(id))
        return;
    write();
    emit approvedChanged();
    if (onRevoke)
        onRevoke(id);
}

void ScreenTrust::approveAllOnFirstRun(const QList<CustomScreen>& screens)
{
    if (!m_isFirstRun)
        return;
    m_isFirstRun = false;
    QHash<QString, QString> approvals = m_approved;
    for (const CustomScreen& screen : screens) {
        if (const std::optional<QString> fingerprint = screen.fingerprint())
            approvals.insert(screen.id, *fingerprint);
        else
            approvals.remove(screen.id);
    }
    // Written also when empty, so the next start is no first run. They count once they are
    // stored: until then nothing records that this first run happened.
    m_firstRunApprovals.reset();
    if (store(approvals)) {
        setFirstRunUnsaved(!approvals.isEmpty());
        recordUnsavedFirstRun();
        return;
    }
    m_firstRunApprovals = std::move(approvals);
    awaitFirstRunStored();
}

void ScreenTrust::awaitFirstRunStored()
{
    continueOn(this, m_settings->written(), [this](const std::optional<SettingsError>& result) {
        if (!m_firstRunApprovals)
            return;
        if (result) {
            // The settings write them again with their next change; they wait for that.
            setFirstRunUnsaved(!m_firstRunApprovals->isEmpty());
            recordUnsavedFirstRun();
            awaitFirstRunStored();
            return;
        }
        QHash<QString, QString> approvals = *std::exchange(m_firstRunApprovals, std::nullopt);
        setFirstRunUnsaved(false);
        if (approvals == m_approved)
            return;
        m_approved = std::move(approvals);
        emit approvedChanged();
        if (onFirstRunStored)
            onFirstRunStored();
    });
}

void ScreenTrust::setFirstRunUnsaved(bool unsaved)
{
    if (unsaved == m_firstRunUnsaved)
        return;
    m_firstRunUnsaved = unsaved;
    emit firstRunApprovalsUnsavedChanged();
}

void ScreenTrust::recordUnsavedFirstRun()
{
    if (m_firstRunRecord.isEmpty() || m_recordWriter)
        return;
    m_recordWriter = std::make_unique<BackgroundFileWriter>([](const QString& path, const QString& reason) {
        qWarning("Screens: could not record the first start at %s: %s", qPrintable(path), qPrintable(reason));
    });
    m_recordWriter->write(m_firstRunRecord,
                          QByteArrayLiteral("Tarv's first start could not store its approvals of custom screens.\n"
                                            "Screens found from now on wait for approval.\n"));
}

void ScreenTrust::forgetMissingScreens(const QSet<QString>& presentIDs)
{
    bool changed = false;
    for (auto it = m_approved.begin(); it != m_approved.end();) {
        if (presentIDs.contains(it.key())) {
            ++it;
        } else {
            it = m_approved.erase(it);
            changed = true;
        }
    }
    if (!changed)
        return;
    write();
    emit approvedChanged();
}

void ScreenTrust::write()
{
    if (!m_settings)
        return;
    // These approvals take the place of the first run's that were waiting to be stored.
    m_firstRunApprovals.reset();
    setFirstRunUnsaved(false);
    store(m_approved);
}

std::optional<SettingsError> ScreenTrust::store(const QHash<QString, QString>& approvals)
{
    QJsonObject object;
    for (auto it = approvals.cbegin(); it != approvals.cend(); ++it)
        object.insert(it.key(), it.value());
    return m_settings->setBytes(storageKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
}
