#include "ui/screens/ScreenPermissionsView.h"

#include "platform/VisibleText.h"
#include "screens/runtime/ScreenTrust.h"
#include "ui/widgets/AccessibleFactory.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolLabel.h"
#include "ui/widgets/WrappingText.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace {

using Permission = CustomScreen::Permission;

QString kindSymbol(Permission::Kind kind)
{
    switch (kind) {
    case Permission::Kind::shell:
        return QStringLiteral("terminal");
    case Permission::Kind::url:
        return QStringLiteral("network");
    case Permission::Kind::action:
        break;
    }
    return QStringLiteral("hand.tap");
}

// The "Allowed" line opens and closes the lists under it: a screen reader hears a button that
// is expanded or collapsed, as a disclosure is, not a check box that is checked.
class DisclosureButton : public QToolButton {
public:
    using QToolButton::QToolButton;
};

class DisclosureAccessible : public QAccessibleWidget {
public:
    explicit DisclosureAccessible(QToolButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QToolButton*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = static_cast<const QToolButton*>(widget())->isChecked();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            static_cast<QToolButton*>(widget())->click();
    }
};

QAccessibleInterface* disclosureFactory(const QString&, QObject* object)
{
    if (auto* button = dynamic_cast<DisclosureButton*>(object))
        return new DisclosureAccessible(button);
    return nullptr;
}

QString counted(qsizetype count, const QString& noun)
{
    return QString::number(count) + u' ' + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

ScreenPermissionsView::ScreenPermissionsView(const CustomScreen& screen, const QString& fileName, ScreenTrust& trust,
                                             bool expanded, QWidget* parent)
    : QWidget(parent), m_screen(screen), m_trust(trust)
{
    setObjectName(QStringLiteral("permissions:") + screen.id);
    const QList<Permission> permissions = m_screen.permissions();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (permissions.isEmpty()) {
        // Such a screen needs no approval; the view stays empty.
        hide();
        return;
    }

    const QColor secondary = FormSection::secondaryColor(this);
    m_allowed = new QWidget;
    m_allowed->setObjectName(QStringLiteral("allowedGroup"));
    auto* allowedLayout = new QVBoxLayout(m_allowed);
    allowedLayout->setContentsMargins(0, 0, 0, 0);
    allowedLayout->setSpacing(4);
    installAccessibleFactory<disclosureFactory>();
    m_disclosure = new DisclosureButton;
    m_disclosure->setObjectName(QStringLiteral("allowedDisclosure"));
    m_disclosure->setText(QStringLiteral("Allowed: ") + summary(permissions));
    m_disclosure->setCheckable(true);
    m_disclosure->setChecked(expanded);
    m_disclosure->setAutoRaise(true);
    m_disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_disclosure->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_disclosure->setFont(FormSection::relativeFont(font(), -1));
    // Borderless, as text is; a frame of the selection colour shows it has the focus, in room
    // it keeps without it so the line does not move.
    m_disclosure->setStyleSheet(QStringLiteral("QToolButton { border: 1px solid transparent; border-radius: 3px; "
                                               "padding: 0 2px; color: %1; } QToolButton:focus { border-color: %2; }")
                                    .arg(secondary.name(QColor::HexArgb),
                                         palette().color(QPalette::Highlight).name(QColor::HexArgb)));
    allowedLayout->addWidget(m_disclosure, 0, Qt::AlignLeft);
    // The lists are text a screen reader does not reach: the controls beside them say it.
    m_disclosure->setAccessibleDescription(spokenList(permissions));
    connect(m_disclosure, &QToolButton::toggled, this, [this](bool open) {
        m_disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        // Qt of this day tells a screen reader of no change of expansion: it is said.
        ScreenReaderNotice::say(m_disclosure, open ? QStringLiteral("Expanded") : QStringLiteral("Collapsed"));
        showLists();
        if (onExpandedChanged)
            onExpandedChanged(open);
    });

    m_waiting = new QWidget;
    m_waiting->setObjectName(QStringLiteral("waitingGroup"));
    auto* waitingLayout = new QVBoxLayout(m_waiting);
    waitingLayout->setContentsMargins(0, 4, 0, 4);
    waitingLayout->setSpacing(6);
    auto* waitingNote = new SymbolLabel(
        QStringLiteral("hand.raised.fill"),
        QStringLiteral("Waiting for your approval. Until then it is not a page on the device, and nothing in it runs."),
        SymbolLabel::orange());
    waitingNote->setObjectName(QStringLiteral("waitingNote"));
    m_allow = new QPushButton(PlainText::actionText(QStringLiteral("Allow ") + visibleText(fileName)));
    m_allow->setObjectName(QStringLiteral("allowButton"));
    m_allow->setAccessibleDescription(spokenList(permissions));
    waitingLayout->addWidget(waitingNote);
    waitingLayout->addWidget(m_allow, 0, Qt::AlignLeft);
    // The trust calls back into the hub, which redraws the device's page list; this view
    // follows the trust's own change signal like every other.
    connect(m_allow, &QPushButton::clicked, this, [this] { m_trust.approveScreen(m_screen); });

    layout->addWidget(m_allowed);
    layout->addWidget(m_waiting);
    connect(&m_trust, &ScreenTrust::approvedChanged, this, &ScreenPermissionsView::showForm);
    showForm();
}

QString ScreenPermissionsView::summary(const QList<Permission>& permissions)
{
    const qsizetype buttons = std::count_if(permissions.cbegin(), permissions.cend(),
                                            [](const Permission& p) { return p.kind == Permission::Kind::action; });
    const qsizetype sources = permissions.size() - buttons;
    QStringList parts;
    if (sources > 0)
        parts.append(counted(sources, QStringLiteral("source")));
    if (buttons > 0)
        parts.append(counted(buttons, QStringLiteral("button")));
    return parts.join(QStringLiteral(", "));
}

QString ScreenPermissionsView::spokenList(const QList<Permission>& permissions)
{
    QStringList lines;
    for (const Permission& permission : permissions) {
        lines.append(permission.title + QStringLiteral(": ") + permission.detail);
        // The headers are approved with the address, as the list shows them under it.
        for (const auto& [name, value] : permission.headers)
            lines.append(name + QStringLiteral(": ") + value);
    }
    return lines.join(u'\n');
}

void ScreenPermissionsView::setExpanded(bool expanded)
{
    if (m_disclosure)
        m_disclosure->setChecked(expanded);
}

void ScreenPermissionsView::showForm()
{
    m_form = m_trust.isScreenApproved(m_screen) ? Form::allowed : Form::waiting;
    showLists();
    const bool allowed = m_form == Form::allowed;
    QWidget* const shown = allowed ? m_allowed : m_waiting;
    QWidget* const gone = allowed ? m_waiting : m_allowed;
    shown->show();
    // The focus stays in the row: what takes the place of the pressed Allow button, or of the
    // disclosure when the file asks again, takes it before Qt would pass it on to the next row.
    if (const QWidget* focus = QApplication::focusWidget(); focus && gone->isAncestorOf(focus)) {
        QWidget* const successor = allowed ? static_cast<QWidget*>(m_disclosure) : m_allow;
        successor->setFocus(Qt::OtherFocusReason);
    }
    gone->hide();
}

void ScreenPermissionsView::showLists()
{
    // A list of many commands is a good part of a row's cost: each is made once it shows.
    if (m_form == Form::waiting && !m_waitingList) {
        m_waitingList = permissionList(QStringLiteral("waitingList"));
        auto* layout = static_cast<QBoxLayout*>(m_waiting->layout());
        layout->insertWidget(layout->indexOf(m_allow), m_waitingList);
    }
    const bool open = m_disclosure->isChecked();
    if (open && !m_allowedList) {
        m_allowedList = permissionList(QStringLiteral("allowedList"));
        m_allowed->layout()->addWidget(m_allowedList);
    }
    if (m_allowedList)
        m_allowedList->setVisible(open);
}

QWidget* ScreenPermissionsView::permissionList(const QString& name) const
{
    auto* list = new QWidget;
    list->setObjectName(name);
    auto* layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const QColor secondary = FormSection::secondaryColor(this);
    for (const Permission& permission : m_screen.permissions()) {
        // What is approved reads in the order it runs, every character that does not show or
        // passes for another written out (the permission's texts are shown as they are): the
        // command, address or text itself runs unchanged.
        auto* title = new SymbolLabel(kindSymbol(permission.kind), permission.title, secondary, -2);
        title->setObjectName(QStringLiteral("permissionTitle"));
        // The whole command or address, however long its words: it is what the user approves.
        auto* detail = new WrappingText(permission.detail);
        detail->setObjectName(QStringLiteral("permissionDetail"));
        detail->setSelectable(true);
        detail->setFont(permission.kind == Permission::Kind::action ? FormSection::relativeFont(font(), -1)
                                                                    : FormSection::monospacedFont(-1));
        auto* row = new QVBoxLayout;
        row->setSpacing(1);
        row->addWidget(title);
        // Under the title, past its symbol.
        auto* indented = new QVBoxLayout;
        indented->setContentsMargins(22, 0, 0, 0);
        indented->setSpacing(1);
        indented->addWidget(detail);
        // Each header the address is fetched with, its value wrapping in a column of its own so
        // that a long value never reads as another header below it.
        for (const auto& [name, value] : permission.headers) {
            auto* nameLabel = new QLabel(name + u':');
            nameLabel->setObjectName(QStringLiteral("permissionHeaderName"));
            nameLabel->setTextFormat(Qt::PlainText);
            nameLabel->setFont(FormSection::monospacedFont(-1));
            auto* valueText = new WrappingText(value);
            valueText->setObjectName(QStringLiteral("permissionHeaderValue"));
            valueText->setSelectable(true);
            valueText->setFont(FormSection::monospacedFont(-1));
            auto* header = new QHBoxLayout;
            header->setSpacing(6);
            header->addWidget(nameLabel, 0, Qt::AlignTop);
            header->addWidget(valueText, 1);
            indented->addLayout(header);
        }
        row->addLayout(indented);
        layout->addLayout(row);
    }
    return list;
}
