#include "ui/screens/CustomScreensView.h"

#include "ui/screens/CustomScreenFilesSection.h"
#include "ui/widgets/FormSection.h"

#include <QBoxLayout>

CustomScreensView::CustomScreensView(DeviceManager& deviceManager, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("customScreensPage"));
    m_files = new CustomScreenFilesSection(deviceManager);
    // A readable column as on the other pages: a row's actions stay near its file's name.
    QVBoxLayout* layout = FormSection::pageLayout(this);
    layout->addWidget(m_files);
    layout->addStretch(1);
}
