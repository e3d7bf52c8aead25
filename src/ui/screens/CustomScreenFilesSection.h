#pragma once
// The "Files" section of the custom screens page: one row per file of the Screens folder, the
// folder's own commands (a new screen from a template, opening the folder) and the failure
// of the last command that wrote a file, shown when the store answers. Everything it shows
// comes from the stores.

#include "screens/format/ScreenTemplate.h"

#include <QHash>
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
class QVBoxLayout;
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

    const std::optional<QString>& failure() const { return m_failure; }
    // The rows in the store's order.
    QList<ScreenFileRow*> rows() const;
    ScreenFileRow* row(const QString& fileName) const { return m_rows.value(fileName); }
    FileManager& fileManager() const { return *m_fileManager; }
    // Tests answer for the desktop.
    void setFileManager(FileManager* fileManager);

private:
    void showReports();
    void setFailure(const std::optional<QString>& failure);
    QString filePath(const QString& fileName) const;

    DeviceManager& m_deviceManager;
    FileManager* m_fileManager = nullptr;
    FormSection* m_section = nullptr;
    QLabel* m_empty = nullptr;
    QVBoxLayout* m_list = nullptr;
    QHash<QString, ScreenFileRow*> m_rows;
    QList<QWidget*> m_separators;
    QPushButton* m_newScreen = nullptr;
    QPushButton* m_openFolder = nullptr;
    SymbolLabel* m_failureLabel = nullptr;
    std::optional<QString> m_failure;
    // A page just added from a template, shown on the device once the store has loaded it.
    std::optional<QString> m_showWhenLoaded;
};
