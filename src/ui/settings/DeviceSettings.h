#pragma once
// The Device tab of Settings: the backlight and the flip of the display. The slider writes a
// level only once it has stayed put for a moment, so a drag sends one BACKLIGHT, not dozens.

#include <QWidget>

class DeviceManager;
class QCheckBox;
class QLabel;
class QSlider;
class QTimer;

class DeviceSettings : public QWidget {
    Q_OBJECT
public:
    static constexpr int writeDelayMs = 120;

    explicit DeviceSettings(DeviceManager& deviceManager, QWidget* parent = nullptr);

    QSlider* brightnessSlider() const { return m_slider; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showPercent(int value);
    void brightnessChanged(int value);
    void writeBrightness();

    DeviceManager& m_deviceManager;
    QSlider* m_slider = nullptr;
    QLabel* m_percent = nullptr;
    QCheckBox* m_flip = nullptr;
    QTimer* m_writeTimer = nullptr;
};
