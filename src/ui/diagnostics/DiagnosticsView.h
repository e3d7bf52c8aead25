#pragma once
// The Diagnostics page: what the link to the device is doing. The connection and what the
// device reported in its HELLO, the picture of its screen, and the frame log, newest first.
// It only reads the hub; the capture button is its one way of asking anything.

#include <QWidget>

class DeviceManager;
class DeviceScreenSection;
class FormSection;
class FrameLogModel;
class FrameLogView;
class QLabel;

class DiagnosticsView : public QWidget {
public:
    explicit DiagnosticsView(DeviceManager& deviceManager, QWidget* parent = nullptr);

    // The Connection section's rows as shown: label and value, top to bottom.
    QList<std::pair<QString, QString>> connectionRows() const;
    DeviceScreenSection* deviceScreen() const { return m_deviceScreen; }
    FrameLogModel* logModel() const { return m_logModel; }
    FrameLogView* logView() const { return m_logView; }

private:
    void showConnection();

    DeviceManager& m_deviceManager;
    FormSection* m_connection = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_firmware = nullptr;
    QLabel* m_protocol = nullptr;
    QLabel* m_panel = nullptr;
    QLabel* m_psram = nullptr;
    QLabel* m_port = nullptr;
    DeviceScreenSection* m_deviceScreen = nullptr;
    FrameLogModel* m_logModel = nullptr;
    FrameLogView* m_logView = nullptr;
};
