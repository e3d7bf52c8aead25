#include "ui/diagnostics/DiagnosticsView.h"

#include "hub/DeviceManager.h"
#include "platform/OneLineText.h"
#include "ui/diagnostics/DeviceScreenSection.h"
#include "ui/diagnostics/FrameLogModel.h"
#include "ui/diagnostics/FrameLogView.h"
#include "ui/widgets/ConnectionText.h"
#include "ui/widgets/DisplayFormats.h"
#include "ui/widgets/FormSection.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>

DiagnosticsView::DiagnosticsView(DeviceManager& deviceManager, QWidget* parent)
    : QWidget(parent), m_deviceManager(deviceManager)
{
    m_connection = new FormSection(QStringLiteral("Connection"));
    m_connection->setObjectName(QStringLiteral("connectionSection"));
    m_status = FormSection::valueLabel("statusValue");
    m_firmware = FormSection::valueLabel("firmwareValue");
    m_protocol = FormSection::valueLabel("protocolValue");
    m_panel = FormSection::valueLabel("panelValue");
    m_psram = FormSection::valueLabel("psramValue");
    m_port = FormSection::valueLabel("portValue");
    m_port->setFont(FormSection::monospacedFont(-1));
    m_port->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_port->setCursor(Qt::IBeamCursor);
    QFormLayout* rows = m_connection->rows();
    rows->addRow(QStringLiteral("Status"), m_status);
    rows->addRow(QStringLiteral("Firmware"), m_firmware);
    rows->addRow(QStringLiteral("Protocol"), m_protocol);
    rows->addRow(QStringLiteral("Panel"), m_panel);
    rows->addRow(QStringLiteral("PSRAM"), m_psram);
    rows->addRow(QStringLiteral("Port"), m_port);

    m_deviceScreen = new DeviceScreenSection(m_deviceManager);

    auto* log = new FormSection(QStringLiteral("Frame Log"));
    log->setObjectName(QStringLiteral("frameLogSection"));
    m_logModel = new FrameLogModel(m_deviceManager, this);
    m_logView = new FrameLogView(m_logModel);
    // The list fills its section edge to edge and scrolls by itself.
    log->rows()->setContentsMargins(0, log->rows()->contentsMargins().top(), 0, 0);
    log->rows()->addRow(m_logView);

    auto* layout = FormSection::pageLayout(this);
    layout->addWidget(m_connection);
    layout->addWidget(m_deviceScreen);
    layout->addWidget(log, 1);

    connect(&m_deviceManager, &DeviceManager::stateChanged, this, &DiagnosticsView::showConnection);
    showConnection();
}

void DiagnosticsView::showConnection()
{
    const ConnectionState& state = m_deviceManager.state();
    m_status->setText(connectionText(state));
    const bool connected = state.isConnected() && state.hello.has_value();
    if (connected) {
        const TarvUSB::HelloPayload& hello = *state.hello;
        m_firmware->setText(oneLineText(hello.fw));
        m_protocol->setText(QLocale().toString(uint(hello.pv)));
        m_panel->setText(QString::number(hello.pw) + QStringLiteral(" \u00D7 ") + QString::number(hello.ph));
        m_psram->setText(byteCountText(hello.psram, ByteCountStyle::memory));
        m_port->setText(state.path);
    }
    QFormLayout* rows = m_connection->rows();
    for (QLabel* value : {m_firmware, m_protocol, m_panel, m_psram, m_port})
        rows->setRowVisible(value, connected);
}

QList<std::pair<QString, QString>> DiagnosticsView::connectionRows() const
{
    QList<std::pair<QString, QString>> out;
    QFormLayout* rows = m_connection->rows();
    for (int row = 0; row < rows->rowCount(); ++row) {
        auto* label = qobject_cast<QLabel*>(rows->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* value = qobject_cast<QLabel*>(rows->itemAt(row, QFormLayout::FieldRole)->widget());
        if (label && value && !value->isHidden())
            out.append({label->text(), value->text()});
    }
    return out;
}
