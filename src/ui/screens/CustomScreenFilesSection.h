#pragma once
// The "Files" section of the custom screens page: one row per file of the Screens folder, the
// folder's own commands (a new screen from a template, opening the folder) and the failure
// of the last command that wrote a file, shown when the store answers, until the folder
// changes after it. Everything it shows comes from the stores. Rows are made as they come
// into sight and only while the page shows; a reload touches the rows whose file changed.

#include "screens/format/ScreenTemplate.h"
#include "screens/runtime/CustomScreenStore.h"
#include "ui/screens/ScreenFileRow.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class DeviceManager;
class FileManager;
class FormSection;
class QLabel;
class QPushButton;
class ScreenFileList;
class ScreenFileRow;
class SymbolLabel;

class CustomScreenFilesSection : public QWidget {
public:
    explicit CustomScreenFilesSection(DeviceManager& deviceManager, QWidget* parent = nullptr);
    ~CustomScreenFilesSection() override;

    // The failures of the file's page, by source name in plain string order.
    QList<std::pair<QString, QString>> sourceFailures(const QString& fileName) const;
    // Has a file written from the template, and opens it once it is there; its page is shown,
    // when it may be, once the store has loaded it.
    void addScreen(const ScreenTemplate& screenTemplate);
    // Has the file's bytes copied into the next free name after its own.
    void duplicate(const QString& fileName);
    // Opens the reference of the screen-file format with the desktop's application for it.
    void openReference();

    const std::optional<QString>& failure() const { return m_failure; }
    // Every row in the store's order, each made now if it was not yet.
    QList<ScreenFileRow*> rows();
    // The file's row, made now if it was not yet; null for a file the store does not list.
    ScreenFileRow* row(const QString& fileName);
    FileManager& fileManager() const { return *m_fileManager; }
    // Tests answer for the desktop.
    void setFileManager(FileManager* fileManager);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showReports();
    // The rows follow the store now, shown or not.
    void refresh();
    ScreenFileRow* makeRow(const QString& fileName);
    // What the file's row shows, from the stores as they are now.
    ScreenFileRow::Content content(const CustomScreenStore::FileReport& report) const;
    void setFailure(const std::optional<QString>& failure);
    void folderChanged();
    QString filePath(const QString& fileName) const;

    DeviceManager& m_deviceManager;
    FileManager* m_fileManager = nullptr;
    FormSection* m_section = nullptr;
    QLabel* m_empty = nullptr;
    ScreenFileList* m_list = nullptr;
    // The store changed while the page was hidden: the rows follow when it shows.
    bool m_stale = false;
    QPushButton* m_newScreen = nullptr;
    QPushButton* m_openFolder = nullptr;
    QPushButton* m_openReference = nullptr;
    SymbolLabel* m_failureLabel = nullptr;
    std::optional<QString> m_failure;
    // The failure came while the store was loading: that load is not a change after it.
    bool m_failureBeforeLoad = false;
    // A page just added from a template, shown on the device once the store has loaded it.
    std::optional<QString> m_showWhenLoaded;
};
