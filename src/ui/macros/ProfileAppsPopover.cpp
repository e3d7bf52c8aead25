#include "ui/macros/ProfileAppsPopover.h"

#include "hub/DeviceManager.h"
#include "macros/ProfileAutoSwitcher.h"
#include "macros/ProfileStore.h"
#include "platform/ContextContinuation.h"
#include "platform/OneLineText.h"
#include "ui/macros/AppChooser.h"
#include "ui/widgets/AccessibleFactory.h"
#include "ui/widgets/AppIconView.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/PopoverPlacement.h"
#include "ui/widgets/ScreenReaderNotice.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/SymbolLabel.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCollator>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QStyle>
#include <QToolButton>
#include <QUndoStack>

#include <algorithm>

namespace {

QString quoted(const QString& name)
{
    return QStringLiteral("\u201C") + name + QStringLiteral("\u201D");
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QLabel* wrappingLabel(const char* name, double pointDelta)
{
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(FormSection::relativeFont(label->font(), pointDelta));
    FormSection::setSecondaryText(label);
    return label;
}

QAccessibleInterface* popoverFactory(const QString&, QObject* object)
{
    // Read as a dialog: a screen reader says its title and its texts as the keyboard goes in.
    if (auto* popover = qobject_cast<ProfileAppsPopover*>(object))
        return new QAccessibleWidget(popover, QAccessible::Dialog);
    return nullptr;
}

QWidget* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

}  // namespace

QList<ProfileAppsPopover::RunningAppChoice> ProfileAppsPopover::runningAppChoices(const QList<RunningApp>& running,
                                                                                  const MacroProfile& active,
                                                                                  const QString& ownID)
{
    QSet<QString> linked;
    for (const AppTarget& app : active.linkedApps)
        linked.insert(app.bundleID.toLower());
    QSet<QString> seen;
    QList<RunningAppChoice> choices;
    for (const RunningApp& app : running) {
        if (app.bundleID.isEmpty() || app.bundleID == ownID || linked.contains(app.bundleID.toLower()) ||
            seen.contains(app.bundleID))
            continue;
        seen.insert(app.bundleID);
        choices.append({AppTarget{app.bundleID, app.name.isEmpty() ? app.bundleID : app.name}, app.icon});
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(choices.begin(), choices.end(), [&collator](const RunningAppChoice& a, const RunningAppChoice& b) {
        return collator.compare(a.target.name, b.target.name) < 0;
    });
    return choices;
}

QString ProfileAppsPopover::choiceTitle(const RunningAppChoice& choice, const ProfileStore& store)
{
    const std::optional<MacroProfile> owner = store.profileLinkedToApp(choice.target.bundleID);
    if (owner && owner->id != store.activeProfile().id)
        return choice.target.name + QStringLiteral(" (moves from ") + quoted(owner->shownName()) + u')';
    return choice.target.name;
}

QString ProfileAppsPopover::fallbackExplanation(const ProfileStore& store)
{
    const std::optional<QUuid> fallback = store.fallbackID();
    if (fallback && *fallback != store.activeProfile().id) {
        for (const MacroProfile& profile : store.profiles()) {
            if (profile.id == *fallback)
                return quoted(profile.shownName()) +
                       QStringLiteral(" is the fallback now; turning this on replaces it.");
        }
    }
    return QStringLiteral("Without a fallback, an app no profile is linked to leaves the current profile up.");
}

QString ProfileAppsPopover::headerText(const MacroProfile& active)
{
    return QStringLiteral("Tarv shows ") + quoted(active.shownName()) +
           QStringLiteral(" while one of these apps is in front.");
}

ProfileAppsPopover::ProfileAppsPopover(DeviceManager& deviceManager, QWidget* parent)
    // A window of its own, which a screen reader finds among the application's windows and
    // enters with the focus; Qt leaves a popup out of them. It closes as a popup does.
    : QFrame(parent, Qt::Dialog | Qt::FramelessWindowHint), m_deviceManager(deviceManager),
      m_source(deviceManager.runningAppsSource())
{
    installAccessibleFactory<popoverFactory>();
    setObjectName(QStringLiteral("profileAppsPopover"));
    setWindowTitle(QStringLiteral("Auto-Switch"));
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(popoverWidth);

    auto* title = new QLabel(QStringLiteral("Auto-Switch"));
    title->setObjectName(QStringLiteral("autoSwitchTitle"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    m_header = wrappingLabel("popoverHeader", -1);
    auto* header = new QVBoxLayout;
    header->setSpacing(2);
    header->addWidget(title);
    header->addWidget(m_header);

    m_noApps = new QLabel(QStringLiteral("No apps linked"));
    m_noApps->setObjectName(QStringLiteral("noAppsLinked"));
    m_noApps->setAlignment(Qt::AlignCenter);
    m_noApps->setContentsMargins(0, 6, 0, 6);
    setTextColor(m_noApps, FormSection::secondaryColor(m_noApps).lighter(130));
    m_linkedList = new QWidget;
    m_linkedList->setObjectName(QStringLiteral("linkedApps"));
    m_linkedLayout = new QVBoxLayout(m_linkedList);
    m_linkedLayout->setContentsMargins(0, 0, 0, 0);
    m_linkedLayout->setSpacing(6);

    m_addMenu = new QMenu(this);
    m_addMenu->setObjectName(QStringLiteral("addAppMenu"));
    // A push button keeps its menu's arrow clear of its text.
    m_addButton = new QPushButton(QStringLiteral("Add App"));
    m_addButton->setObjectName(QStringLiteral("addAppButton"));
    m_addButton->setMenu(m_addMenu);
    m_sourceNote = wrappingLabel("runningAppsSource", -2);

    m_fallbackToggle = new QCheckBox(QStringLiteral("Use for all other apps"));
    m_fallbackToggle->setObjectName(QStringLiteral("fallbackToggle"));
    connect(m_fallbackToggle, &QCheckBox::toggled, this, [this](bool on) {
        ProfileStore& store = m_deviceManager.profiles();
        if (on)
            store.setFallbackProfile(store.activeProfile().id);
        else
            store.setFallbackProfile(std::nullopt);
    });
    m_fallbackExplanation = wrappingLabel("fallbackExplanation", -2);

    m_pauseNotice = new QWidget;
    m_pauseNotice->setObjectName(QStringLiteral("pauseNotice"));
    auto* pauseLayout = new QHBoxLayout(m_pauseNotice);
    pauseLayout->setContentsMargins(0, 0, 0, 0);
    auto* pauseSymbol = new QLabel;
    pauseSymbol->setObjectName(QStringLiteral("pauseSymbol"));
    pauseSymbol->setPixmap(
        SymbolLabel::tintedSymbol(QStringLiteral("pause.circle"), 16, SymbolLabel::orange(), devicePixelRatioF()));
    auto* pauseText = new QLabel(QStringLiteral("Auto-switching is paused"));
    pauseText->setObjectName(QStringLiteral("pauseText"));
    setTextColor(pauseText, SymbolLabel::orange());
    m_resumeButton = new QPushButton(QStringLiteral("Resume"));
    m_resumeButton->setObjectName(QStringLiteral("resumeButton"));
    m_resumeButton->setFont(FormSection::relativeFont(m_resumeButton->font(), -1));
    connect(m_resumeButton, &QPushButton::clicked, this,
            [this] { m_deviceManager.autoSwitcher().setPaused(false); });
    pauseLayout->addWidget(pauseSymbol);
    pauseLayout->addWidget(pauseText);
    pauseLayout->addStretch(1);
    pauseLayout->addWidget(m_resumeButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);
    layout->addLayout(header);
    layout->addWidget(m_noApps);
    layout->addWidget(m_linkedList);
    auto* add = new QVBoxLayout;
    add->setSpacing(2);
    add->addWidget(m_addButton, 0, Qt::AlignLeft);
    add->addWidget(m_sourceNote);
    layout->addLayout(add);
    layout->addWidget(divider());
    // The explanation sits under the toggle's own text.
    auto* fallback = new QVBoxLayout;
    fallback->setSpacing(2);
    fallback->addWidget(m_fallbackToggle);
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_fallbackToggle) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, m_fallbackToggle);
    m_fallbackExplanation->setContentsMargins(indent, 0, 0, 0);
    fallback->addWidget(m_fallbackExplanation);
    layout->addLayout(fallback);
    layout->addWidget(m_pauseNotice);

    const ProfileStore& store = m_deviceManager.profiles();
    connect(&store, &ProfileStore::profilesChanged, this, &ProfileAppsPopover::refresh);
    connect(&store, &ProfileStore::activeIDChanged, this, &ProfileAppsPopover::refresh);
    connect(&store, &ProfileStore::fallbackIDChanged, this, &ProfileAppsPopover::refresh);
    connect(&m_deviceManager.autoSwitcher(), &ProfileAutoSwitcher::isPausedChanged, this,
            &ProfileAppsPopover::refresh);
    connect(&m_deviceManager.autoSwitcher(), &ProfileAutoSwitcher::sourceChanged, this, [this] {
        // The desktop answered while the popover showed: its list is worth reading again.
        if (isVisible())
            readRunningApps();
        refresh();
    });
}

ProfileAppsPopover::~ProfileAppsPopover() = default;

void ProfileAppsPopover::setRunningAppsSource(std::unique_ptr<RunningAppsSource> source)
{
    m_givenSource = std::move(source);
    m_source = m_givenSource.get();
    m_running.clear();
    rebuildAddMenu();
}

void ProfileAppsPopover::popUp(QWidget* anchor)
{
    // The running applications are read once per opening; the menu follows the store.
    readRunningApps();
    showState();
    if (anchor) {
        move(popoverPosition(*anchor, popoverWidth));
    }
    m_anchor = anchor;
    show();
    raise();
    activateWindow();
    // The keyboard goes in with the popover, to its first control.
    for (QWidget* next = nextInFocusChain(); next && next != this; next = next->nextInFocusChain()) {
        if (isAncestorOf(next) && (next->focusPolicy() & Qt::TabFocus) && next->isVisibleTo(this) && next->isEnabled()) {
            next->setFocus(Qt::PopupFocusReason);
            break;
        }
    }
}

void ProfileAppsPopover::dismiss()
{
    if (!isVisible())
        return;
    hide();
    // The keyboard comes back to the button that opened it.
    if (m_anchor) {
        m_anchor->activateWindow();
        m_anchor->setFocus(Qt::PopupFocusReason);
    }
}

void ProfileAppsPopover::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        dismiss();
        return;
    }
    QFrame::keyPressEvent(event);
}

void ProfileAppsPopover::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    // A click elsewhere closes it, as a popup closes; its own menus and the chooser it opens
    // leave it open, as they leave the popover's window active or are its children.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow() &&
        !QApplication::activeModalWidget() && !QApplication::activePopupWidget())
        hide();
}

void ProfileAppsPopover::refresh()
{
    // Hidden, it is brought up to date when it opens.
    if (isVisible())
        showState();
}

void ProfileAppsPopover::showState()
{
    const ProfileStore& store = m_deviceManager.profiles();
    const MacroProfile& active = store.activeProfile();
    m_header->setText(headerText(active));
    showLinkedApps();
    {
        const QSignalBlocker blocker(m_fallbackToggle);
        m_fallbackToggle->setChecked(store.fallbackID() == active.id);
    }
    m_fallbackExplanation->setText(fallbackExplanation(store));
    m_fallbackToggle->setAccessibleDescription(m_fallbackExplanation->text());
    m_pauseNotice->setVisible(m_deviceManager.autoSwitcher().isPaused());
    showSource();
    rebuildAddMenu();
    adjustSize();
}

void ProfileAppsPopover::showLinkedApps()
{
    const MacroProfile& active = m_deviceManager.profiles().activeProfile();
    while (QLayoutItem* item = m_linkedLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QUuid profileID = active.id;
    for (const AppTarget& app : active.linkedApps) {
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("linkedAppRow"));
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(8);
        auto* icon = new AppIconView;
        icon->setApp(app);
        auto* name = new QLabel(oneLineText(app.name.isEmpty() ? app.bundleID : app.name));
        name->setObjectName(QStringLiteral("linkedAppName"));
        name->setTextFormat(Qt::PlainText);
        auto* remove = new QToolButton;
        remove->setObjectName(QStringLiteral("removeAppButton"));
        remove->setAutoRaise(true);
        remove->setIcon(symbolIcon(QStringLiteral("minus.circle.fill")));
        remove->setToolTip(PlainText::toolTip(QStringLiteral("Stop switching to this profile for ") + app.name));
        remove->setAccessibleName(QStringLiteral("Remove ") + app.name);
        const QString bundleID = app.bundleID;
        const QString shown = name->text();
        connect(remove, &QToolButton::clicked, this, [this, bundleID, profileID, shown] {
            // Deferred: the store's report rebuilds these rows, this button among them.
            QMetaObject::invokeMethod(
                this, [this, bundleID, profileID, shown] { removeApp(bundleID, profileID, shown); },
                Qt::QueuedConnection);
        });
        rowLayout->addWidget(icon);
        rowLayout->addWidget(name, 1);
        rowLayout->addWidget(remove);
        m_linkedLayout->addWidget(row);
    }
    m_noApps->setVisible(active.linkedApps.isEmpty());
    m_linkedList->setVisible(!active.linkedApps.isEmpty());
}

void ProfileAppsPopover::removeApp(const QString& bundleID, const QUuid& profileID, const QString& shownName)
{
    QWidget* focus = focusWidget();
    const int row = focus ? m_linkedLayout->indexOf(focus->parentWidget()) : -1;
    m_deviceManager.profiles().unlinkApp(bundleID, profileID);
    // The keyboard, on the row that went, goes to the row that took its place, or to Add App.
    if (row >= 0) {
        const QList<QToolButton*> removes =
            m_linkedList->findChildren<QToolButton*>(QStringLiteral("removeAppButton"));
        QWidget* next = removes.isEmpty() ? static_cast<QWidget*>(m_addButton)
                                          : removes[std::min<qsizetype>(row, removes.size() - 1)];
        next->setFocus(Qt::OtherFocusReason);
    }
    ScreenReaderNotice::say(this, QStringLiteral("Removed ") + shownName);
}

void ProfileAppsPopover::showSource()
{
    const ProfileAutoSwitcher& switcher = m_deviceManager.autoSwitcher();
    const QString text = switcher.canFollowApplications() ? switcher.sourceDescription() : switcher.unavailableReason();
    m_sourceNote->setText(text);
    m_sourceNote->setVisible(!text.isEmpty());
    // The note under Add App, for a screen reader on the button: which apps it can offer.
    if (m_addButton->accessibleDescription() != text)
        m_addButton->setAccessibleDescription(text);
}

void ProfileAppsPopover::readRunningApps()
{
    if (!m_source)
        return;
    const quint64 reading = ++m_reading;
    continueOn(this, m_source->runningApps(), [this, reading](const QList<RunningApp>& running) {
        // A later reading answers for itself.
        if (reading != m_reading)
            return;
        m_running = running;
        rebuildAddMenu();
        emit runningAppsRead();
    });
}

void ProfileAppsPopover::rebuildAddMenu()
{
    const ProfileStore& store = m_deviceManager.profiles();
    m_choices = runningAppChoices(m_running, store.activeProfile(), m_deviceManager.autoSwitcher().ownBundleID().value_or(QString()));
    m_addMenu->clear();
    for (const RunningAppChoice& choice : m_choices) {
        QAction* action = m_addMenu->addAction(PlainText::actionText(choiceTitle(choice, store)));
        const QIcon icon = AppIconView::iconForEntryIcon(choice.icon);
        if (!icon.isNull())
            action->setIcon(icon);
        const AppTarget target = choice.target;
        connect(action, &QAction::triggered, this, [this, target] {
            ProfileStore& profiles = m_deviceManager.profiles();
            profiles.linkApps(target, profiles.activeProfile().id);
            ScreenReaderNotice::say(this, QStringLiteral("Added ") + target.name);
        });
    }
    if (!m_choices.isEmpty())
        m_addMenu->addSeparator();
    QAction* choose = m_addMenu->addAction(QStringLiteral("Choose…"));
    choose->setObjectName(QStringLiteral("chooseAppsAction"));
    connect(choose, &QAction::triggered, this, &ProfileAppsPopover::chooseApps);
}

void ProfileAppsPopover::chooseApps()
{
    const QString name = m_deviceManager.profiles().activeProfile().shownName();
    auto* chooser = new AppChooser(parentWidget() ? parentWidget()->window() : nullptr,
                                   QStringLiteral("Choose the apps that switch Tarv to ") + quoted(name) + u'.',
                                   AppChooser::Selection::several);
    connect(chooser, &AppChooser::appsChosen, this, [this](const QList<AppTarget>& apps) {
        // The profile active once the chooser closed gets them, as one step.
        ProfileStore& store = m_deviceManager.profiles();
        const QUuid profileID = store.activeProfile().id;
        QUndoStack* steps = store.undoStack();
        if (steps)
            steps->beginMacro(apps.size() == 1 ? QStringLiteral("Add App") : QStringLiteral("Add Apps"));
        QStringList names;
        for (const AppTarget& app : apps) {
            if (!app.bundleID.isEmpty()) {
                store.linkApps(app, profileID);
                names.append(app.name);
            }
        }
        if (steps)
            steps->endMacro();
        ScreenReaderNotice::say(this, QStringLiteral("Added ") + names.join(QStringLiteral(", ")));
    });
    chooser->open();
}
