#include "ui/screens/CustomScreensView.h"

#include "ui/screens/CustomScreenFilesSection.h"

#include <QBoxLayout>

CustomScreensView::CustomScreensView(DeviceManager& deviceManager, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("customScreensPage"));
    m_files = new CustomScreenFilesSection(deviceManager);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(m_files);
    layout->addStretch(1);
}
