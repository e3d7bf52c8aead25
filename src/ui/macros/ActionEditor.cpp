#include "ui/macros/ActionEditor.h"

#include "hub/DeviceManager.h"
#include "macros/DesktopActionRunner.h"
#include "macros/HIDKeyTables.h"
#include "macros/ScreenshotPortal.h"
#include "macros/ShortcutsCatalog.h"
#include "macros/X11WindowFacts.h"
#include "platform/ContextContinuation.h"
#include "platform/Graphemes.h"
#include "platform/OneLineText.h"
#include "ui/macros/AppChooser.h"
#include "ui/macros/ShortcutEditor.h"
#include "ui/macros/WheelGuard.h"
#include "ui/widgets/AppIconView.h"
#include "ui/widgets/WindowUndo.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/FormSection.h"
#include "ui/widgets/PlainText.h"
#include "ui/widgets/SymbolIcon.h"
#include "ui/widgets/TabOrder.h"

#include <QBoxLayout>
#include <QDir>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QComboBox* makePicker(const QString& name)
{
    auto* picker = new QComboBox;
    picker->setObjectName(name);
    WheelGuard::install(picker);
    return picker;
}

void setSecondary(QLabel* label, bool secondary)
{
    if (!secondary) {
        // Back to the palette of the widgets around it.
        label->setPalette(QPalette());
        return;
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, FormSection::secondaryColor(label));
    label->setPalette(palette);
}

// The forms around the rows lay a row out at the height of its size hint, which a wrapping label
// works out for a width of its own choosing, not at the height its text needs at the width the
// row gets: a row that holds one asks for that height as its least, so that every line shows.
class KeepLinesWhole : public QObject {
public:
    explicit KeepLinesWhole(QWidget* row) : QObject(row) { row->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A resize brings another width; a layout request, another text or a note shown or hidden.
        if (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest) {
            auto* row = static_cast<QWidget*>(watched);
            const int needed = row->layout()->heightForWidth(row->width());
            if (needed > 0 && needed != row->minimumHeight())
                row->setMinimumHeight(needed);
        }
        return false;
    }
};

// A small note under a field, hidden until it has something to say.
QLabel* noteLabel(const QString& name)
{
    QLabel* note = PlainText::label();
    note->setObjectName(name);
    note->setWordWrap(true);
    note->setFont(FormSection::relativeFont(note->font(), -2));
    note->hide();
    return note;
}

// A field with its note under it, as the value of a row named `name`: the row's label names the
// column they share, so the field is given the name itself.
QWidget* withNote(const QString& name, QWidget* field, QLabel* note)
{
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(field);
    layout->addWidget(note);
    field->setAccessibleName(name);
    new KeepLinesWhole(column);
    return column;
}

void selectRow(QComboBox* picker, int row)
{
    if (picker->currentIndex() == row)
        return;
    const QSignalBlocker blocker(picker);
    picker->setCurrentIndex(row);
}

// Sets a field's text only when it differs, so a field being typed in keeps its caret.
void showText(QLineEdit* field, const QString& text)
{
    if (field->text() == text)
        return;
    const QSignalBlocker blocker(field);
    field->setText(text);
}

}  // namespace

// --- ScreenPicker ---------------------------------------------------------------------------

ScreenPicker::ScreenPicker(DeviceManager& deviceManager, QWidget* parent)
    : QComboBox(parent), m_deviceManager(deviceManager)
{
    setObjectName(QStringLiteral("screenPicker"));
    WheelGuard::install(this);
    connect(&m_deviceManager, &DeviceManager::availableScreensChanged, this, &ScreenPicker::rebuild);
    connect(this, &QComboBox::activated, this, [this](int row) {
        const QString value = itemData(row).toString();
        // Picking the item that already stands for the stored text writes nothing.
        if (value == m_name)
            return;
        emit nameChosen(value);
    });
    rebuild();
}

void ScreenPicker::setName(const QString& name)
{
    m_name = name;
    rebuild();
}

void ScreenPicker::rebuild()
{
    const QList<DeviceScreen> screens = m_deviceManager.availableScreens();
    // The device finds a page by its id ignoring case, so such a page is the one shown.
    int matching = -1;
    for (int i = 0; i < screens.size(); ++i) {
        if (screens[i].id().compare(m_name, Qt::CaseInsensitive) == 0) {
            matching = i;
            break;
        }
    }
    const QSignalBlocker blocker(this);
    clear();
    addItem(QStringLiteral("Choose Screen"), QString());
    int selected = 0;
    if (!m_name.isEmpty() && matching < 0) {
        addItem(oneLineText(m_name) + QStringLiteral(" (missing)"), m_name);
        selected = 1;
    }
    const int first = count();
    for (const DeviceScreen& screen : screens)
        addItem(m_deviceManager.pageTitle(screen), screen.id());
    if (matching >= 0) {
        selected = first + matching;
        // The stored text is what the key sends; the item stands for it until the user picks.
        setItemData(selected, m_name);
    }
    setCurrentIndex(selected);
}

// --- ScreenRecordingPermissionRow -----------------------------------------------------------

ScreenRecordingPermissionRow::ScreenRecordingPermissionRow(const QDBusConnection& bus, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("permissionRow"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_symbol = new QLabel;
    m_symbol->hide();
    m_text = new QLabel(QStringLiteral("Looking for the desktop\u2019s screenshot portal\u2026"));
    m_text->setObjectName(QStringLiteral("permissionText"));
    m_text->setWordWrap(true);
    setSecondary(m_text, true);
    layout->addWidget(m_symbol, 0, Qt::AlignTop);
    layout->addWidget(m_text, 1);

    new KeepLinesWhole(this);

    auto* portal = new ScreenshotPortal(bus, this);
    continueOn(this, portal->isOffered(), [this](bool offered) { showAnswer(offered); });
}

QString ScreenRecordingPermissionRow::offeredText(bool offered, bool asksEachTime)
{
    if (!offered)
        return QStringLiteral("No desktop portal offers screenshots here: install xdg-desktop-portal with the "
                              "backend of this desktop.");
    if (asksEachTime)
        return QStringLiteral("The desktop portal takes screenshots and asks you before each one.");
    return QStringLiteral("The desktop portal takes screenshots.");
}

void ScreenRecordingPermissionRow::showAnswer(bool offered)
{
    m_hasAnswer = true;
    m_text->setText(offeredText(offered, portalAsksEachTime()));
    setSecondary(m_text, offered);
    if (!offered) {
        QPalette orange = m_text->palette();
        orange.setColor(QPalette::WindowText, QColor(0xFF, 0x95, 0x00));
        m_text->setPalette(orange);
    }
    const QString symbol =
        offered ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.triangle.fill");
    m_symbol->setPixmap(symbolIcon(symbol).pixmap(14, 14));
    m_symbol->show();
}

bool ScreenRecordingPermissionRow::portalAsksEachTime()
{
    return isWaylandSession();
}

// --- ActionEditor ---------------------------------------------------------------------------

ActionEditor::ActionEditor(DeviceManager& deviceManager, ShortcutsCatalog& shortcuts, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager), m_shortcuts(shortcuts)
{
    setObjectName(QStringLiteral("actionEditor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    connect(&m_shortcuts, &ShortcutsCatalog::namesChanged, this, &ActionEditor::showShortcutItems);
    connect(&m_shortcuts, &ShortcutsCatalog::isLoadingChanged, this, &ActionEditor::showShortcutItems);
}

QList<std::pair<QString, QString>> ActionEditor::shortcutItems(const QString& current, const QStringList& names)
{
    QList<std::pair<QString, QString>> items{{QStringLiteral("Choose Shortcut"), QString()}};
    if (!current.isEmpty() && !names.contains(current))
        items.append({current, current});
    for (const QString& name : names)
        items.append({name, name});
    return items;
}

int ActionEditor::labelWidth(const QFontMetrics& metrics, const QStringList& outerTitles)
{
    QStringList titles = outerTitles + ShortcutEditor::rowTitles();
    titles << QStringLiteral("Media key") << QStringLiteral("App") << QStringLiteral("URL")
           << QStringLiteral("Shortcut") << QStringLiteral("Text") << QStringLiteral("Capture")
           << QStringLiteral("Save to") << QStringLiteral("Permission") << QStringLiteral("Screen");
    return FormSection::labelWidth(metrics, titles);
}

void ActionEditor::setLabelWidth(int width)
{
    m_labelWidth = width;
    if (m_form)
        FormSection::setLabelWidth(m_form, width);
    if (m_shortcutEditor)
        m_shortcutEditor->setLabelWidth(width);
}

void ActionEditor::setTabPredecessor(QWidget* before)
{
    m_tabPredecessor = before;
    placeRowsInTabOrder();
}

void ActionEditor::placeRowsInTabOrder()
{
    if (!m_tabPredecessor || !m_rows)
        return;
    // The rows are made after the rest of the window and went last in its keyboard order; they
    // follow the predecessor, in the order they stand on screen.
    TabOrder::place(m_tabPredecessor, TabOrder::stops(m_rows));
}

void ActionEditor::setAction(const MacroAction& action, bool rebuild)
{
    const bool kindChanged = !m_built || action.kind() != m_action.kind();
    // An edit of the key's label, look or latching leaves its action, and the rows showing it,
    // as they are: showing it again would refill lists and look icons up on every keystroke.
    if (!kindChanged && !rebuild && action == m_action)
        return;
    m_action = action;
    if (kindChanged || rebuild)
        buildRows();
    showValues();
}

void ActionEditor::write(const MacroAction& action, const QWidget* field)
{
    if (action == m_action)
        return;
    emit actionEdited(action, field ? field->objectName() : QString());
}

void ActionEditor::buildRows()
{
    delete m_rows;
    m_shortcutEditor = nullptr;
    m_mediaPicker = nullptr;
    m_appIcon = nullptr;
    m_appName = nullptr;
    m_urlField = nullptr;
    m_shortcutPicker = nullptr;
    m_shortcutNote = nullptr;
    m_textField = nullptr;
    m_textNote = nullptr;
    m_capturePicker = nullptr;
    m_saveToPicker = nullptr;
    m_screenPicker = nullptr;
    m_built = true;

    m_rows = new QWidget;
    m_rows->setObjectName(QStringLiteral("actionRows"));
    m_form = new QFormLayout(m_rows);
    m_form->setContentsMargins(0, 0, 0, 0);
    FormSection::matchRows(m_form);
    layout()->addWidget(m_rows);

    switch (m_action.kind()) {
    case MacroAction::Kind::unassigned:
        break;
    case MacroAction::Kind::keystroke:
        m_shortcutEditor = new ShortcutEditor;
        connect(m_shortcutEditor, &ShortcutEditor::chordEdited, this,
                [this](const KeyChord& chord) { write(MacroAction::keystroke(chord)); });
        m_form->addRow(m_shortcutEditor);
        break;
    case MacroAction::Kind::media:
        m_mediaPicker = makePicker(QStringLiteral("mediaKeyPicker"));
        for (MediaKey key : allMediaKeys)
            m_mediaPicker->addItem(mediaKeyTitle(key));
        connect(m_mediaPicker, &QComboBox::activated, this, [this](int row) {
            if (row >= 0 && row < int(allMediaKeys.size()))
                write(MacroAction::media(allMediaKeys[std::size_t(row)]), m_mediaPicker);
        });
        m_form->addRow(QStringLiteral("Media key"), m_mediaPicker);
        break;
    case MacroAction::Kind::openApp: {
        auto* row = new QWidget;
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(8);
        m_appIcon = new AppIconView;
        // A long name is cut to the row, whole in its tooltip: the inspector keeps its width.
        m_appName = new ElidedLabel;
        m_appName->setObjectName(QStringLiteral("appName"));
        auto* choose = new QPushButton(QStringLiteral("Choose…"));
        choose->setObjectName(QStringLiteral("chooseAppButton"));
        connect(choose, &QPushButton::clicked, this, &ActionEditor::chooseApp);
        rowLayout->addWidget(m_appIcon);
        rowLayout->addWidget(m_appName, 1);
        rowLayout->addWidget(choose);
        m_form->addRow(QStringLiteral("App"), row);
        break;
    }
    case MacroAction::Kind::openURL:
        m_urlField = new QLineEdit;
        m_urlField->setObjectName(QStringLiteral("urlField"));
        leaveUndoToWindow(m_urlField);
        m_urlField->setPlaceholderText(QStringLiteral("https://"));
        connect(m_urlField, &QLineEdit::textEdited, this,
                [this](const QString& text) { write(MacroAction::openURL(text), m_urlField); });
        m_form->addRow(QStringLiteral("URL"), m_urlField);
        break;
    case MacroAction::Kind::runShortcut:
        m_shortcutPicker = makePicker(QStringLiteral("shortcutPicker"));
        connect(m_shortcutPicker, &QComboBox::activated, this, [this](int row) {
            write(MacroAction::runShortcut(m_shortcutPicker->itemData(row).toString()), m_shortcutPicker);
        });
        m_shortcutNote = noteLabel(QStringLiteral("shortcutsFolderNote"));
        setSecondary(m_shortcutNote, true);
        m_form->addRow(QStringLiteral("Shortcut"),
                       withNote(QStringLiteral("Shortcut"), m_shortcutPicker, m_shortcutNote));
        break;
    case MacroAction::Kind::typeText:
        m_textField = new QLineEdit;
        m_textField->setObjectName(QStringLiteral("textField"));
        leaveUndoToWindow(m_textField);
        m_textField->setPlaceholderText(QStringLiteral("Text to type"));
        m_textNote = noteLabel(QStringLiteral("textSkippedNote"));
        {
            QPalette orange = m_textNote->palette();
            orange.setColor(QPalette::WindowText, QColor(0xFF, 0x95, 0x00));
            m_textNote->setPalette(orange);
        }
        connect(m_textField, &QLineEdit::textEdited, this, [this](const QString& text) {
            const QString cut = firstGraphemes(text, maxTextLength);
            write(MacroAction::typeText(cut), m_textField);
            // A paste past the limit shows what was kept, even when that changed nothing.
            showText(m_textField, cut);
            showTextNote(cut);
        });
        m_form->addRow(QStringLiteral("Text"), withNote(QStringLiteral("Text"), m_textField, m_textNote));
        break;
    case MacroAction::Kind::screenshot:
        m_capturePicker = makePicker(QStringLiteral("capturePicker"));
        for (ScreenshotOptions::Mode mode : ScreenshotOptions::allModes)
            m_capturePicker->addItem(ScreenshotOptions::label(mode));
        m_saveToPicker = makePicker(QStringLiteral("saveToPicker"));
        for (ScreenshotOptions::Destination destination : ScreenshotOptions::allDestinations)
            m_saveToPicker->addItem(ScreenshotOptions::label(destination));
        connect(m_capturePicker, &QComboBox::activated, this, [this](int row) {
            const ScreenshotOptions* now = m_action.as<ScreenshotOptions>();
            if (!now || row < 0 || row >= int(ScreenshotOptions::allModes.size()))
                return;
            ScreenshotOptions options = *now;
            options.mode = ScreenshotOptions::allModes[std::size_t(row)];
            write(MacroAction::screenshot(options), m_capturePicker);
        });
        connect(m_saveToPicker, &QComboBox::activated, this, [this](int row) {
            const ScreenshotOptions* now = m_action.as<ScreenshotOptions>();
            if (!now || row < 0 || row >= int(ScreenshotOptions::allDestinations.size()))
                return;
            ScreenshotOptions options = *now;
            options.destination = ScreenshotOptions::allDestinations[std::size_t(row)];
            write(MacroAction::screenshot(options), m_saveToPicker);
        });
        m_form->addRow(QStringLiteral("Capture"), m_capturePicker);
        m_form->addRow(QStringLiteral("Save to"), m_saveToPicker);
        m_form->addRow(QStringLiteral("Permission"),
                       new ScreenRecordingPermissionRow(m_deviceManager.actionRunner().bus
                                                            ? m_deviceManager.actionRunner().bus()
                                                            : QDBusConnection::sessionBus()));
        break;
    case MacroAction::Kind::showScreen:
        m_screenPicker = new ScreenPicker(m_deviceManager);
        connect(m_screenPicker, &ScreenPicker::nameChosen, this,
                [this](const QString& name) { write(MacroAction::showScreen(name), m_screenPicker); });
        m_form->addRow(QStringLiteral("Screen"), m_screenPicker);
        break;
    }
    setLabelWidth(m_labelWidth);
    m_rows->setVisible(m_form->rowCount() > 0);
    placeRowsInTabOrder();
}

void ActionEditor::showValues()
{
    if (const KeyChord* chord = m_action.as<KeyChord>(); chord && m_shortcutEditor)
        m_shortcutEditor->setChord(*chord);
    if (const MediaKey* key = m_action.as<MediaKey>(); key && m_mediaPicker) {
        const auto* found = std::find(allMediaKeys.begin(), allMediaKeys.end(), *key);
        selectRow(m_mediaPicker, found == allMediaKeys.end() ? -1 : int(found - allMediaKeys.begin()));
    }
    if (const AppTarget* app = m_action.as<AppTarget>(); app && m_appName) {
        // The row tells by the name: an entry chosen without a name reads as none.
        const bool named = !app->name.isEmpty();
        m_appName->setFullText(named ? oneLineText(app->name) : QStringLiteral("None"));
        setSecondary(m_appName, !named);
        m_appIcon->setVisible(named);
        if (named)
            m_appIcon->setApp(*app);
    }
    if (const auto* url = m_action.as<MacroAction::OpenURL>(); url && m_urlField)
        showText(m_urlField, url->url);
    if (m_shortcutPicker)
        showShortcutItems();
    if (const auto* text = m_action.as<MacroAction::TypeText>(); text && m_textField) {
        showText(m_textField, text->text);
        showTextNote(text->text);
    }
    if (const ScreenshotOptions* options = m_action.as<ScreenshotOptions>(); options && m_capturePicker) {
        const auto& modes = ScreenshotOptions::allModes;
        const auto& destinations = ScreenshotOptions::allDestinations;
        selectRow(m_capturePicker, int(std::find(modes.begin(), modes.end(), options->mode) - modes.begin()));
        selectRow(m_saveToPicker, int(std::find(destinations.begin(), destinations.end(), options->destination) -
                                      destinations.begin()));
    }
    if (const auto* screen = m_action.as<MacroAction::ShowScreen>(); screen && m_screenPicker)
        m_screenPicker->setName(screen->screen);
}

QString ActionEditor::skippedCharactersNote(const QString& text)
{
    const QStringList skipped = untypeableCharacters(text);
    if (skipped.isEmpty())
        return {};
    return QStringLiteral("Tarv types with a US keyboard layout and will skip ") + skipped.join(u' ') + u'.';
}

void ActionEditor::showTextNote(const QString& text)
{
    const QString note = skippedCharactersNote(text);
    m_textNote->setText(note);
    m_textNote->setVisible(!note.isEmpty());
    emit notesChanged();
}

QString ActionEditor::noteFor(const QWidget* field) const
{
    if (field && field == m_textField)
        return m_textNote->text();
    if (field && field == m_shortcutPicker)
        return m_shortcutNote->text();
    return {};
}

void ActionEditor::showShortcutItems()
{
    const auto* shortcut = m_action.as<MacroAction::RunShortcut>();
    if (!shortcut || !m_shortcutPicker)
        return;
    const auto items = shortcutItems(shortcut->name, m_shortcuts.names());
    const QSignalBlocker blocker(m_shortcutPicker);
    m_shortcutPicker->clear();
    int selected = 0;
    for (int i = 0; i < items.size(); ++i) {
        m_shortcutPicker->addItem(oneLineText(items[i].first), items[i].second);
        if (items[i].second == shortcut->name)
            selected = i;
    }
    m_shortcutPicker->setCurrentIndex(selected);
    const bool none = m_shortcuts.names().isEmpty() && !m_shortcuts.isLoading();
    m_shortcutNote->setText(none ? shortcutsFolderNote(m_shortcuts.runner.shortcutsFolder) : QString());
    m_shortcutNote->setVisible(none);
    emit notesChanged();
}

QString ActionEditor::shortcutsFolderNote(const QString& folder)
{
    QString shown = QDir::cleanPath(folder);
    const QString home = QDir::homePath();
    if (shown.startsWith(home + u'/'))
        shown = u'~' + shown.mid(home.size());
    return QStringLiteral("No shortcuts yet. A shortcut is an executable file in ") + shown +
           QStringLiteral("; files put there show here.");
}

void ActionEditor::chooseApp()
{
    auto* chooser = new AppChooser(window());
    connect(chooser, &AppChooser::appChosen, this, [this](const AppTarget& app) {
        if (m_action.kind() == MacroAction::Kind::openApp)
            write(MacroAction::openApp(app));
    });
    chooser->open();
}
