#pragma once
// The main window "Tarv": the sidebar of pages and the chosen page, the connection and the
// page picker in the toolbar, the File, Edit, View and Device menus, and the way into the Settings
// window. It belongs to the application: closing it only hides it.

#include "app/SidebarItem.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QMainWindow>

#include <memory>
#include <utility>

class DeviceCommands;
class DeviceManager;
class MacrosView;
class QAction;
class QLabel;
class QMenu;
class QUndoGroup;
class QUndoStack;
class ScreenPickerToolbar;
class Settings;
class SettingsWindow;
class SidebarHost;
class SymbolLabel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1080;
    static constexpr int defaultHeight = 640;
    static constexpr int minimumWidth = 1020;
    static constexpr int minimumHeight = 560;

    MainWindow(DeviceManager& deviceManager, Settings& settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    SidebarItem selection() const { return m_selection; }
    // Chooses a page as the user would: it is shown and stored.
    void select(SidebarItem item);

    // Shows the window and brings it forward (the tray's "Open Tarv" asks for this).
    void showAndActivate();
    // Opens the one Settings window, centred over this one, or brings it forward when it is
    // open. The File and Device menus' shortcuts work in it as they do here.
    void showSettings();
    SettingsWindow* settingsWindow() const { return m_settingsWindow.get(); }

    // Undo and Redo act on the shown page's own edits: each page that has edits to undo has
    // a stack of its own, the active one while the page shows; other pages have none.
    QUndoGroup* undoGroup() const { return m_undoGroup; }
    QUndoStack* undoStack(SidebarItem item) const;
    DeviceCommands* deviceCommands() const { return m_deviceCommands; }
    SidebarHost* sidebarHost() const { return m_host; }
    MacrosView* macrosView() const { return m_macrosView; }
    ScreenPickerToolbar* screenPicker() const { return m_picker; }
    QLabel* connectionLabel() const { return m_connectionLabel; }
    // Checked while a page's inspector shows; the page that has one enables it.
    QAction* showInspectorAction() const { return m_showInspectorAction; }
    // Shown above the pages while the settings file cannot be written, and when it could not be
    // read at start.
    SymbolLabel* settingsWriteProblem() const { return m_settingsWriteProblem; }

    void setVisible(bool visible) override;

signals:
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Also called by Qt when the focused control is disabled or hidden: FocusKeeper keeps the
    // focus in its page.
    bool focusNextPrevChild(bool next) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildPages();
    void showSelection(SidebarItem item);
    void showConnection();
    void showSettingsWriteState();
    void forwardToFocus(const char* slot);
    void updateEditActions();
    // Undo or Redo of the shown page's stack, named after the step it takes.
    QAction* addUndoAction(QMenu* menu, bool redo);

    DeviceManager& m_deviceManager;
    Settings& m_settings;
    SidebarItem m_selection = SidebarItem::macros;
    SidebarHost* m_host = nullptr;
    SymbolLabel* m_settingsWriteProblem = nullptr;
    ScreenPickerToolbar* m_picker = nullptr;
    QLabel* m_connectionLabel = nullptr;
    QUndoGroup* m_undoGroup = nullptr;
    QUndoStack* m_macrosUndo = nullptr;
    QUndoStack* m_screensaverUndo = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_showSidebarAction = nullptr;
    QAction* m_showInspectorAction = nullptr;
    MacrosView* m_macrosView = nullptr;
    QAction* m_macrosToolbarAction = nullptr;
    DeviceCommands* m_deviceCommands = nullptr;
    // Cut, Copy, Paste, Delete and Select All, each with the slot it calls on the focus.
    QList<std::pair<QAction*, const char*>> m_editActions;
    // The widget they act on: the one with the focus, or the one it left for the menu bar.
    QPointer<QWidget> m_editTarget;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    // Where the user's close left the window, until it shows again.
    QByteArray m_closedGeometry;
};
