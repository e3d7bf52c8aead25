#pragma once
// The fields of one key's action for its kind, under the inspector's kind picker. It keeps no
// action of its own: it shows the action it is given and reports every edit as a whole new
// action of the same kind, which the inspector commits as one "Edit Action" step.

#include "macros/MacroAction.h"

#include <QComboBox>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class AppIconView;
class ElidedLabel;
class DeviceManager;
class QDBusConnection;
class QFontMetrics;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class ShortcutEditor;
class ShortcutsCatalog;

// The "Screen" picker of a show-screen key: the device's pages, and a stored id that no page
// has any more shown as missing.
class ScreenPicker : public QComboBox {
    Q_OBJECT
public:
    explicit ScreenPicker(DeviceManager& deviceManager, QWidget* parent = nullptr);

    void setName(const QString& name);
    const QString& name() const { return m_name; }

signals:
    void nameChosen(const QString& name);

private:
    void rebuild();

    DeviceManager& m_deviceManager;
    QString m_name;
};

// The "Permission" row of a screenshot key: what this desktop offers for screenshots, a
// desktop portal or none, asked of the session bus without waiting for its answer.
class ScreenRecordingPermissionRow : public QWidget {
    Q_OBJECT
public:
    explicit ScreenRecordingPermissionRow(const QDBusConnection& bus, QWidget* parent = nullptr);
    // A Wayland session: the portal asks the user at each capture.
    static bool portalAsksEachTime();
    // The row's text once the bus has answered.
    static QString offeredText(bool offered, bool asksEachTime);
    bool hasAnswer() const { return m_hasAnswer; }

private:
    void showAnswer(bool offered);

    QLabel* m_symbol = nullptr;
    QLabel* m_text = nullptr;
    bool m_hasAnswer = false;
};

class ActionEditor : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxTextLength = 200;

    ActionEditor(DeviceManager& deviceManager, ShortcutsCatalog& shortcuts, QWidget* parent = nullptr);

    // Shows an action; fields of the same kind are updated in place unless `rebuild` asks for
    // fresh rows (another key). The action shown already leaves the rows as they are.
    void setAction(const MacroAction& action, bool rebuild = false);
    const MacroAction& action() const { return m_action; }
    // The width of a label column that fits the titles of every kind's rows and `outerTitles`
    // (those of the form around the editor), so that no field moves when the kind changes.
    static int labelWidth(const QFontMetrics& metrics, const QStringList& outerTitles);
    // Lines the rows' fields up with those of the form around the editor.
    void setLabelWidth(int width);
    // The control that Tab leaves for the first field of the rows. Rows made anew would
    // otherwise be reached last, after every other control of the window.
    void setTabPredecessor(QWidget* before);

    // The chord's editor while the action is a keystroke.
    ShortcutEditor* shortcutEditor() const { return m_shortcutEditor; }

    // The shortcut picker's items: "Choose Shortcut" for none, the stored name when the
    // catalog lacks it, then the catalog's names. Each is (shown text, value).
    static QList<std::pair<QString, QString>> shortcutItems(const QString& current, const QStringList& names);
    // The note under a text to type that names the characters the device will skip; empty
    // when it types them all.
    static QString skippedCharactersNote(const QString& text);
    // The note under an empty shortcut picker that says where shortcuts live.
    static QString shortcutsFolderNote(const QString& folder);
    // The note the rows show under `field`, for a screen reader to say with it; empty for none.
    QString noteFor(const QWidget* field) const;

signals:
    // `field`: the name of the field edited, for edits of one field in a row to be one step;
    // empty where each edit is a step of its own.
    void actionEdited(const MacroAction& action, const QString& field);
    // A note under a field came, went or changed.
    void notesChanged();

private:
    void buildRows();
    void placeRowsInTabOrder();
    void showValues();
    void write(const MacroAction& action, const QWidget* field = nullptr);
    void showShortcutItems();
    void showTextNote(const QString& text);
    void chooseApp();

    DeviceManager& m_deviceManager;
    ShortcutsCatalog& m_shortcuts;
    MacroAction m_action;
    bool m_built = false;
    int m_labelWidth = 0;
    QPointer<QWidget> m_tabPredecessor;

    QWidget* m_rows = nullptr;
    QFormLayout* m_form = nullptr;
    ShortcutEditor* m_shortcutEditor = nullptr;
    QComboBox* m_mediaPicker = nullptr;
    AppIconView* m_appIcon = nullptr;
    ElidedLabel* m_appName = nullptr;
    QLineEdit* m_urlField = nullptr;
    QComboBox* m_shortcutPicker = nullptr;
    QLabel* m_shortcutNote = nullptr;
    QLineEdit* m_textField = nullptr;
    QLabel* m_textNote = nullptr;
    QComboBox* m_capturePicker = nullptr;
    QComboBox* m_saveToPicker = nullptr;
    ScreenPicker* m_screenPicker = nullptr;
};
