#include "ui/settings/TrustedScreensSection.h"

#include "screens/runtime/CustomScreenStore.h"
#include "screens/runtime/ScreenTrust.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int maxDetailLines = 4;

QString detailLines(const CustomScreen& screen)
{
    QStringList details;
    for (const CustomScreen::Permission& permission : screen.permissions())
        details.append(permission.detail.split(u'\n'));
    const bool cut = details.size() > maxDetailLines;
    details = details.mid(0, maxDetailLines);
    if (cut)
        details.last() += QStringLiteral("…");
    return details.join(u'\n');
}

}  // namespace

TrustedScreensSection::TrustedScreensSection(CustomScreenStore& store, QWidget* parent)
    : FormSection(QStringLiteral("Trusted Screens"), parent), m_store(store)
{
    setObjectName(QStringLiteral("trustedScreensSection"));
    setFooter(QStringLiteral("A revoked page leaves the device until it is allowed again in Custom Screens."));
    m_list = new QWidget;
    m_list->setObjectName(QStringLiteral("trustedScreensList"));
    auto* column = new QVBoxLayout(m_list);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    rows()->addRow(m_list);
    connect(&m_store.trust(), &ScreenTrust::approvedChanged, this, &TrustedScreensSection::rebuild);
    connect(&m_store, &CustomScreenStore::screensChanged, this, &TrustedScreensSection::rebuild);
    rebuild();
}

void TrustedScreensSection::rebuild()
{
    // Rows of labels and buttons only: nothing the user types in is lost by building afresh.
    QStringList ids = m_store.trust().approved().keys();
    std::sort(ids.begin(), ids.end());
    m_ids = ids;
    qDeleteAll(m_list->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    auto* column = static_cast<QVBoxLayout*>(m_list->layout());
    if (ids.isEmpty()) {
        auto* empty = new QLabel(QStringLiteral("No screen file has been allowed to do anything."));
        empty->setObjectName(QStringLiteral("noTrustedScreensLabel"));
        QPalette palette = empty->palette();
        palette.setColor(QPalette::WindowText, secondaryColor(this));
        empty->setPalette(palette);
        column->addWidget(empty);
    }
    for (const QString& id : ids) {
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("trustedScreen:") + id);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* lines = new QVBoxLayout;
        lines->setSpacing(2);
        auto* name = new QLabel(id + QStringLiteral(".json"));
        name->setObjectName(QStringLiteral("trustedScreenName"));
        name->setTextFormat(Qt::PlainText);
        lines->addWidget(name);
        if (const std::optional<CustomScreen> screen = m_store.screenWithID(id)) {
            auto* details = new QLabel(detailLines(*screen));
            details->setObjectName(QStringLiteral("trustedScreenDetails"));
            details->setTextFormat(Qt::PlainText);
            details->setWordWrap(true);
            details->setFont(monospacedFont(-2));
            QPalette palette = details->palette();
            palette.setColor(QPalette::WindowText, secondaryColor(this));
            details->setPalette(palette);
            lines->addWidget(details);
        }
        rowLayout->addLayout(lines, 1);
        auto* revoke = new QPushButton(QStringLiteral("Revoke"));
        revoke->setObjectName(QStringLiteral("revokeButton"));
        rowLayout->addWidget(revoke, 0, Qt::AlignVCenter);
        // Queued: the revocation rebuilds this list, button included.
        connect(revoke, &QPushButton::clicked, this,
                [this, id] { m_store.trust().revokeScreen(id); }, Qt::QueuedConnection);
        column->addWidget(row);
    }
}
