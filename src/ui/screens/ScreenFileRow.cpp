#include "ui/screens/ScreenFileRow.h"

#include "platform/VisibleText.h"
#include "screens/runtime/ScreenTrust.h"
#include "ui/screens/ScreenPermissionsView.h"
#include "ui/widgets/FocusKeeper.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/TabOrder.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

ScreenFileRow::ScreenFileRow(const QString& fileName, ScreenTrust& trust, QWidget* parent)
    : QWidget(parent), m_fileName(fileName), m_trust(trust)
{
    setObjectName(QStringLiteral("fileRow:") + fileName);

    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("statusSymbol"));
    // The file a screen's approval is stored for, every character of its name in sight.
    m_name = new QLabel(visibleText(fileName));
    m_name->setObjectName(QStringLiteral("fileName"));
    m_name->setTextFormat(Qt::PlainText);
    QFont medium = m_name->font();
    medium.setWeight(QFont::Medium);
    m_name->setFont(medium);
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setWordWrap(true);
    FormSection::setSecondaryText(m_summary);

    m_menu = new QMenu(this);
    m_showOnDevice = m_menu->addAction(symbolIcon(QStringLiteral("rectangle.on.rectangle")), QStringLiteral("Show on Device"));
    m_showOnDevice->setObjectName(QStringLiteral("showOnDeviceAction"));
    m_edit = m_menu->addAction(symbolIcon(QStringLiteral("pencil")), QStringLiteral("Edit"));
    m_edit->setObjectName(QStringLiteral("editAction"));
    m_duplicate = m_menu->addAction(symbolIcon(QStringLiteral("plus.square.on.square")), QStringLiteral("Duplicate"));
    m_duplicate->setObjectName(QStringLiteral("duplicateAction"));
    m_reveal = m_menu->addAction(symbolIcon(QStringLiteral("folder")), QStringLiteral("Reveal in File Manager"));
    m_reveal->setObjectName(QStringLiteral("revealAction"));
    m_showOnDevice->setEnabled(false);

    m_actionsButton = new QToolButton;
    m_actionsButton->setObjectName(QStringLiteral("actionsButton"));
    m_actionsButton->setIcon(symbolIcon(QStringLiteral("ellipsis.circle")));
    m_actionsButton->setAutoRaise(true);
    m_actionsButton->setPopupMode(QToolButton::InstantPopup);
    m_actionsButton->setMenu(m_menu);
    m_actionsButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_actionsButton->setAccessibleName(QStringLiteral("Actions for ") + fileName);
    m_actionsButton->setToolTip(PlainText::toolTip(QStringLiteral("Actions for ") + fileName));
    // The same commands as the row's context menu.
    addActions(m_menu->actions());
    setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(m_name);
    titles->addWidget(m_summary);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(m_status, 0, Qt::AlignTop);
    header->addLayout(titles, 1);
    header->addWidget(m_actionsButton, 0, Qt::AlignTop);

    m_commandFailure = new SymbolLabel(QStringLiteral("exclamationmark.triangle"), QString(), SymbolLabel::orange());
    m_commandFailure->setObjectName(QStringLiteral("commandFailure"));
    m_commandFailure->setSelectable(true);
    m_commandFailure->hide();

    m_body = new QVBoxLayout(this);
    m_body->setContentsMargins(0, 2, 0, 2);
    m_body->setSpacing(4);
    m_body->addLayout(header);
    // Under the name, where the commands' menu is.
    m_body->addWidget(m_commandFailure);

    connect(&m_trust, &ScreenTrust::approvedChanged, this, &ScreenFileRow::showApproval);
}

void ScreenFileRow::setContent(const Content& content)
{
    // What the row showed until now, to keep what did not change. A copy, not a swap: the
    // content given may be the row's own.
    const Content shown = m_content;
    m_content = content;
    const CustomScreenStore::FileReport& report = content.report;
    const int size = QFontMetrics(font()).height();
    m_status->setPixmap(SymbolLabel::tintedSymbol(
        report.isLoaded ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("xmark.octagon.fill"), size,
        report.isLoaded ? SymbolLabel::green() : SymbolLabel::red(), devicePixelRatioF()));
    m_status->setProperty("symbol", report.isLoaded ? QStringLiteral("checkmark.circle.fill")
                                                    : QStringLiteral("xmark.octagon.fill"));
    m_summary->setText(report.summary + (report.isShowingLastGoodVersion
                                             ? QStringLiteral(" \u00B7 showing the last version that loaded")
                                             : QString()));

    // The approval view is made anew only when what the screen does changed, so an open
    // list and a pressed button survive a reload that leaves them as they were.
    const std::optional<CustomScreen>& screen = m_content.screen;
    const bool samePermissions = shown.screen.has_value() == screen.has_value() &&
                                 (!shown.screen || (shown.screen->id == screen->id &&
                                                    shown.screen->permissions() == screen->permissions()));
    if (!samePermissions || (screen && !m_permissions)) {
        if (m_permissions) {
            m_permissions->hide();
            m_permissions->deleteLater();
            m_permissions = nullptr;
        }
        if (screen) {
            m_permissions = new ScreenPermissionsView(*screen, m_fileName, m_trust, m_expanded);
            m_permissions->onExpandedChanged = [this](bool open) { m_expanded = open; };
            m_body->insertWidget(m_body->indexOf(m_commandFailure) + 1, m_permissions);
        }
    }

    // The row's one stop says what the row shows: whether the file loaded, and its problems.
    QStringList said{m_summary->text()};
    for (const ScreenIssue& issue : report.issues)
        said.append(issue.displayText());
    for (const auto& [source, message] : content.sourceFailures)
        said.append(QStringLiteral("{{") + source + QStringLiteral("}}: ") + message);
    if (const QString description = said.join(u'\n'); m_actionsButton->accessibleDescription() != description)
        m_actionsButton->setAccessibleDescription(description);

    // Unchanged notes keep their labels, and with them a selection the user made in one.
    if (m_notes && report.issues == shown.report.issues && content.sourceFailures == shown.sourceFailures) {
        placeTabStops();
        showApproval();
        return;
    }
    if (m_notes) {
        m_notes->hide();
        m_notes->deleteLater();
    }
    m_notes = new QWidget;
    m_notes->setObjectName(QStringLiteral("notes"));
    auto* notes = new QVBoxLayout(m_notes);
    notes->setContentsMargins(0, 0, 0, 0);
    notes->setSpacing(4);
    for (const ScreenIssue& issue : report.issues) {
        const bool error = issue.severity == ScreenIssue::Severity::error;
        auto* label = new SymbolLabel(error ? QStringLiteral("exclamationmark.octagon")
                                            : QStringLiteral("exclamationmark.triangle"),
                                      issue.displayText(), error ? SymbolLabel::red() : SymbolLabel::orange());
        label->setObjectName(QStringLiteral("issue"));
        label->setSelectable(true);
        notes->addWidget(label);
    }
    for (const auto& [source, message] : content.sourceFailures) {
        auto* label = new SymbolLabel(QStringLiteral("antenna.radiowaves.left.and.right.slash"),
                                      QStringLiteral("{{") + source + QStringLiteral("}}: ") + message,
                                      SymbolLabel::orange());
        label->setObjectName(QStringLiteral("sourceFailure"));
        label->setSelectable(true);
        notes->addWidget(label);
    }
    // Shown once it is in the row: a widget without a parent would show as a window.
    m_body->addWidget(m_notes);
    m_notes->setVisible(notes->count() > 0);
    placeTabStops();
    showApproval();
}

void ScreenFileRow::placeTabStops()
{
    // What was made for this content went last in the window's keyboard order; it follows the
    // row's first stop, made with the row and put in place by the list.
    const QList<QWidget*> stops = TabOrder::stops(this);
    if (!stops.isEmpty())
        TabOrder::place(stops.first(), stops.mid(1));
}

void ScreenFileRow::setCommandFailure(const std::optional<QString>& failure)
{
    m_commandFailure->setText(failure.value_or(QString()));
    m_commandFailure->setVisible(failure.has_value());
    if (failure)
        FocusKeeper::showWithFocus(m_commandFailure, m_commandFailure->text());
}

std::optional<QString> ScreenFileRow::commandFailure() const
{
    if (m_commandFailure->isHidden())
        return std::nullopt;
    return m_commandFailure->text();
}

void ScreenFileRow::showApproval()
{
    const std::optional<CustomScreen>& screen = m_content.screen;
    m_showOnDevice->setEnabled(screen && m_trust.isScreenApproved(*screen));
}
