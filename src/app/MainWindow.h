#pragma once
// The main window: 1080 × 640 at first, never smaller than 1020 × 560, titled "Tarv". Its
// sidebar and pages come with the window's own work; for now it shows where the connection
// stands.

#include <QMainWindow>

class DeviceManager;
class QLabel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(DeviceManager& deviceManager, QWidget* parent = nullptr);

    static constexpr int defaultWidth = 1080;
    static constexpr int defaultHeight = 640;
    static constexpr int minimumWidth = 1020;
    static constexpr int minimumHeight = 560;

private:
    void showConnection();

    DeviceManager& m_deviceManager;
    QLabel* m_status = nullptr;
};
