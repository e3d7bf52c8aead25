#include "ui/settings/DeviceSettings.h"

#include "hub/DeviceManager.h"
#include "ui/settings/SettingsForm.h"
#include "ui/widgets/FormSection.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QSlider>
#include <QTimer>

DeviceSettings::DeviceSettings(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager)
{
    auto* section = new FormSection(QString());
    section->setObjectName(QStringLiteral("deviceSection"));

    m_slider = new QSlider(Qt::Horizontal);
    m_slider->setObjectName(QStringLiteral("brightnessSlider"));
    // The row's label names the row, not the slider inside it.
    m_slider->setAccessibleName(QStringLiteral("Brightness"));
    m_slider->setRange(10, 100);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(10);
    m_slider->setFixedWidth(220);
    m_slider->setValue(m_deviceManager.backlightLevel());
    m_percent = new QLabel;
    m_percent->setObjectName(QStringLiteral("brightnessValue"));
    m_percent->setFixedWidth(44);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* brightness = new QWidget;
    auto* brightnessRow = new QHBoxLayout(brightness);
    brightnessRow->setContentsMargins(0, 0, 0, 0);
    brightnessRow->setSpacing(10);
    brightnessRow->addStretch();
    brightnessRow->addWidget(m_slider, 0, Qt::AlignVCenter);
    brightnessRow->addWidget(m_percent, 0, Qt::AlignVCenter);
    section->rows()->addRow(QStringLiteral("Brightness"), brightness);

    m_flip = new QCheckBox(QStringLiteral("Flip Display"));
    m_flip->setObjectName(QStringLiteral("flipDisplaySwitch"));
    m_flip->setChecked(m_deviceManager.isDisplayFlipped());
    section->rows()->addRow(m_flip);
    section->setFooter(QStringLiteral("Flip Display turns the picture and touch 180°, for a stand or case that holds "
                                      "Tarv with its USB port on the other side. Both are set again each time Tarv "
                                      "connects."));

    auto* layout = SettingsForm::tabLayout(this);
    layout->addWidget(section);

    m_writeTimer = new QTimer(this);
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(writeDelayMs);
    connect(m_writeTimer, &QTimer::timeout, this, &DeviceSettings::writeBrightness);
    connect(m_slider, &QSlider::valueChanged, this, &DeviceSettings::brightnessChanged);
    connect(m_flip, &QCheckBox::toggled, &m_deviceManager, &DeviceManager::setDisplayFlipped);
    connect(&m_deviceManager, &DeviceManager::isDisplayFlippedChanged, this, [this] {
        const QSignalBlocker blocker(m_flip);
        m_flip->setChecked(m_deviceManager.isDisplayFlipped());
    });
    showPercent(m_slider->value());
}

void DeviceSettings::showEvent(QShowEvent* event)
{
    // The stored level; the slider does not follow later changes made elsewhere while shown.
    m_slider->setValue(m_deviceManager.backlightLevel());
    QWidget::showEvent(event);
}

void DeviceSettings::hideEvent(QHideEvent* event)
{
    // A write waits only while the tab shows; a hidden tab never writes a value of its own.
    m_writeTimer->stop();
    QWidget::hideEvent(event);
}

void DeviceSettings::showPercent(int value)
{
    m_percent->setText(QLocale().toString(value) + QLocale().percent());
}

void DeviceSettings::brightnessChanged(int value)
{
    showPercent(value);
    // Every move starts the wait afresh; a value the device already has is never written.
    m_writeTimer->stop();
    if (isVisible() && value != m_deviceManager.backlightLevel())
        m_writeTimer->start();
}

void DeviceSettings::writeBrightness()
{
    m_deviceManager.setBacklight(m_slider->value());
}
