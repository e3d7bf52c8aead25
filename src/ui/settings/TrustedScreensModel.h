#pragma once
// The screen files the user has allowed to run things, as a list in page id order: one row per
// approval, with the file's name and, while the file is loaded, what it does. Approvals given
// or revoked become row insertions and removals; a reload of the files changes the details.

#include "platform/NextTurn.h"

#include <QAbstractListModel>
#include <QStringList>

class CustomScreenStore;

class TrustedScreensModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int maxDetailLines = 4;
    static constexpr qsizetype detailsPerTurn = 256;

    enum Role {
        idRole = Qt::UserRole + 1,  // the page id, the sort key
        detailsRole,                // what the loaded file does, one line each, at most four
                                    // lines; empty when the file is not loaded
    };

    explicit TrustedScreensModel(CustomScreenStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the name of the file, as spelled on disk while it is loaded, else the id
    // followed by ".json".
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    const QStringList& ids() const { return m_ids; }
    void revoke(int row);

private:
    void syncApprovals();
    void syncDetails();
    void syncSomeDetails();
    QString detailsFor(const QString& id) const;

    CustomScreenStore& m_store;
    QStringList m_ids;
    QStringList m_names;
    QStringList m_details;
    // Details of the rows from here on are still to be checked against their screens.
    qsizetype m_detailsFrom = 0;
    NextTurn m_nextSlice;
};
