#pragma once
// The macros page: the key grid of the active profile with its caption, the profile bar
// along the bottom, and the inspector of the selected key beside them. It owns no macro data:
// it reads the profile store and each edit is one call of the store, which saves the library
// and lets the hub redraw the device. Shown, it hands the window's undo stack to the store.

#include "macros/ShortcutsCatalog.h"

#include <QPointer>
#include <QUndoStack>
#include <QWidget>

class DeviceManager;
class KeyCanvas;
class KeyInspector;
class ProfileAppsButton;
class ProfileBar;
class QScrollArea;
class QStackedWidget;

class MacrosView : public QWidget {
    Q_OBJECT
public:
    static constexpr int inspectorMinimumWidth = 260;
    static constexpr int inspectorIdealWidth = 300;
    static constexpr int inspectorMaximumWidth = 380;

    MacrosView(DeviceManager& deviceManager, QUndoStack* undoStack, QWidget* parent = nullptr);
    ~MacrosView() override;

    // The window's undo stack; handed to the store while the page is shown, and again when it
    // comes or goes later.
    void setUndoStack(QUndoStack* undoStack);

    // The selected slot of the active profile; it may point past its keys.
    int selection() const;
    void setSelection(int index);

    bool isInspectorShown() const { return m_inspectorShown; }
    void setInspectorShown(bool shown);

    // The page's place in the window's toolbar, for the button of the profile's applications.
    // The view keeps it until a toolbar takes it as its own.
    QWidget* toolbarSlot() const { return m_toolbarSlot; }

    KeyCanvas* canvas() const { return m_canvas; }
    KeyInspector* inspector() const { return m_inspector; }
    ProfileBar* profileBar() const { return m_profileBar; }
    ProfileAppsButton* profileAppsButton() const { return m_profileAppsButton; }
    ShortcutsCatalog& shortcuts() { return m_shortcuts; }

signals:
    void inspectorShownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attachUndoManager();
    void refresh();
    void showInspector();
    // The column scrolls only up and down, so it is never narrower than the rows the inspector
    // has shown: a field cut off at the edge could not be reached.
    void fitInspectorColumn();

    DeviceManager& m_deviceManager;
    QPointer<QUndoStack> m_undoStack;
    ShortcutsCatalog m_shortcuts;
    bool m_inspectorShown = true;
    int m_inspectorRowsWidth = 0;

    KeyCanvas* m_canvas = nullptr;
    ProfileBar* m_profileBar = nullptr;
    QWidget* m_inspectorColumn = nullptr;
    QStackedWidget* m_inspectorStack = nullptr;
    QScrollArea* m_inspectorScroll = nullptr;
    KeyInspector* m_inspector = nullptr;
    QWidget* m_emptyState = nullptr;
    QPointer<QWidget> m_toolbarSlot;
    ProfileAppsButton* m_profileAppsButton = nullptr;
};
