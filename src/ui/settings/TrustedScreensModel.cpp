#include "ui/settings/TrustedScreensModel.h"

#include "platform/VisibleText.h"
#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"

#include <algorithm>

TrustedScreensModel::TrustedScreensModel(CustomScreenStore& store, QObject* parent)
    : QAbstractListModel(parent), m_store(store), m_nextSlice(this, [this] { syncSomeDetails(); })
{
    connect(&m_store.trust(), &ScreenTrust::approvedChanged, this, &TrustedScreensModel::syncApprovals);
    connect(&m_store, &CustomScreenStore::screensChanged, this, &TrustedScreensModel::syncDetails);
    syncApprovals();
}

int TrustedScreensModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QVariant TrustedScreensModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return visibleText(m_names[index.row()]);
    case idRole:
        return m_ids[index.row()];
    case detailsRole:
        return m_details[index.row()];
    default:
        return {};
    }
}

QHash<int, QByteArray> TrustedScreensModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(idRole, "id");
    names.insert(detailsRole, "details");
    return names;
}

void TrustedScreensModel::revoke(int row)
{
    if (row >= 0 && row < m_ids.size())
        m_store.trust().revokeScreen(m_ids[row]);
}

void TrustedScreensModel::syncApprovals()
{
    QStringList wanted = m_store.trust().approved().keys();
    std::sort(wanted.begin(), wanted.end());
    // Both lists are sorted: one walk removes what went and inserts what came, in place.
    int row = 0;
    qsizetype next = 0;
    while (row < m_ids.size() || next < wanted.size()) {
        if (next < wanted.size() && row < m_ids.size() && m_ids[row] == wanted[next]) {
            ++row;
            ++next;
        } else if (next >= wanted.size() || (row < m_ids.size() && m_ids[row] < wanted[next])) {
            beginRemoveRows({}, row, row);
            m_ids.removeAt(row);
            m_names.removeAt(row);
            m_details.removeAt(row);
            if (row < m_detailsFrom)
                --m_detailsFrom;
            endRemoveRows();
        } else {
            beginInsertRows({}, row, row);
            m_ids.insert(row, wanted[next]);
            m_names.insert(row, m_store.fileNameOf(wanted[next]));
            m_details.insert(row, detailsFor(wanted[next]));
            if (row < m_detailsFrom)
                ++m_detailsFrom;
            endInsertRows();
            ++row;
            ++next;
        }
    }
}

void TrustedScreensModel::syncDetails()
{
    m_detailsFrom = 0;
    syncSomeDetails();
}

void TrustedScreensModel::syncSomeDetails()
{
    // A row's details are worked out from its screen's permissions: thousands of approvals are
    // gone through a slice per turn, so a reload never holds the window up on all of them.
    const qsizetype end = std::min(m_ids.size(), m_detailsFrom + detailsPerTurn);
    for (; m_detailsFrom < end; ++m_detailsFrom) {
        const int row = int(m_detailsFrom);
        const QString name = m_store.fileNameOf(m_ids[row]);
        const QString details = detailsFor(m_ids[row]);
        if (name == m_names[row] && details == m_details[row])
            continue;
        m_names[row] = name;
        m_details[row] = details;
        emit dataChanged(index(row), index(row), {Qt::DisplayRole, detailsRole});
    }
    if (m_detailsFrom < m_ids.size())
        m_nextSlice.ask();
}

QString TrustedScreensModel::detailsFor(const QString& id) const
{
    const std::optional<CustomScreen> screen = m_store.screenWithID(id);
    if (!screen)
        return {};
    // One line for each thing the screen does, a line break within it written out.
    QStringList lines;
    for (const CustomScreen::Permission& permission : screen->permissions()) {
        lines.append(permission.detail);
        for (const auto& [name, value] : permission.headers)
            lines.append(name + QStringLiteral(": ") + value);
    }
    if (lines.size() > maxDetailLines) {
        lines = lines.mid(0, maxDetailLines);
        lines.last() += QStringLiteral("…");
    }
    return lines.join(u'\n');
}
