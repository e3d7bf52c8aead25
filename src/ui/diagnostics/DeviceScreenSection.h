#pragma once
// The diagnostics page's "Device Screen" section: the last picture the device sent of its own
// frame buffer, how far a capture has come or why it failed, and Copy, Save… and Capture.
// Everything it shows follows the hub's snapshot values; only a failed save is its own.

#include "link/DeviceSnapshot.h"
#include "ui/widgets/FormSection.h"

#include <QFutureWatcher>

#include <functional>
#include <optional>

class DeviceManager;
class QLabel;
class QProgressBar;
class QPushButton;
class SnapshotPicture;

class DeviceScreenSection : public FormSection {
public:
    // Asks where to save, with a suggested file name; calls `chosen` with the path, or never
    // when the user cancels. Tests replace it, so no real dialog shows.
    using SaveFileAsker =
        std::function<void(QWidget* parent, const QString& suggestedName, std::function<void(const QString&)> chosen)>;

    static constexpr int progressWidth = 120;

    explicit DeviceScreenSection(DeviceManager& deviceManager, QWidget* parent = nullptr);

    void setSaveFileAsker(SaveFileAsker asker) { m_askForFile = std::move(asker); }

    void copySnapshot();
    void saveSnapshot();
    void capture();

    // The status line's text as shown (empty while the progress bar stands in for it).
    QString statusText() const;
    bool isShowingError() const;
    SnapshotPicture* picture() const { return m_picture; }
    QProgressBar* progressBar() const { return m_progress; }
    QPushButton* copyButton() const { return m_copyButton; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* captureButton() const { return m_captureButton; }
    // True from the choice of a file until the outcome of writing it shows.
    bool isSaving() const { return m_isSaving; }

private:
    void refresh();
    void finishSave();
    void setCaptureEnabled(bool enabled);
    static SaveFileAsker dialogAsker();

    DeviceManager& m_deviceManager;
    SaveFileAsker m_askForFile;
    SnapshotPicture* m_picture = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusLabel = nullptr;
    QPushButton* m_copyButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_captureButton = nullptr;
    // The picture shown was made from this snapshot; a new one makes it again.
    std::optional<TarvUSB::DeviceSnapshot> m_shownSnapshot;
    std::optional<QString> m_saveError;
    // The error text of a failed write; empty when it succeeded.
    QFutureWatcher<QString> m_saving;
    QString m_savingFileName;
    bool m_isSaving = false;
    // The capture button had the keyboard focus when a capture disabled it.
    bool m_captureHadFocus = false;
};
