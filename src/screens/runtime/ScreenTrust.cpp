#include "screens/runtime/ScreenTrust.h"

#include "platform/Settings.h"

#include <QJsonDocument>
#include <QJsonObject>

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

}  // namespace

ScreenTrust::ScreenTrust(Settings* settings, QObject* parent) : QObject(parent), m_settings(settings)
{
    if (!m_settings)
        return;
    if (!m_settings->contains(storageKey)) {
        // Settings that exist without approvals were damaged, set aside or edited: approving
        // every screen then would run commands nobody looked at. Only a new installation, whose
        // settings file was never written, trusts what it finds.
        m_isFirstRun = !m_settings->existedWhenOpened();
        return;
    }
    // A value that cannot be read as approvals trusts nothing; treating it as a first run
    // would let damaged settings approve every screen, commands and all, without asking.
    if (const std::optional<QByteArray> stored = m_settings->bytes(storageKey))
        m_approved = readApprovals(*stored).value_or(QHash<QString, QString>());
}

bool ScreenTrust::isScreenApproved(const CustomScreen& screen) const
{
    const std::optional<QString> fingerprint = screen.fingerprint();
    if (!fingerprint)
        return true;
    const auto found = m_approved.constFind(screen.id);
    return found != m_approved.cend() && *found == *fingerprint;
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
    for (const CustomScreen& screen : screens) {
        if (const std::optional<QString> fingerprint = screen.fingerprint())
            m_approved.insert(screen.id, *fingerprint);
        else
            m_approved.remove(screen.id);
    }
    // Written also when empty, so the next start is no first run.
    write();
    emit approvedChanged();
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
    QJsonObject object;
    for (auto it = m_approved.cbegin(); it != m_approved.cend(); ++it)
        object.insert(it.key(), it.value());
    m_settings->setBytes(storageKey, QJsonDocument(object).toJson(QJsonDocument::Compact));
}
