#pragma once
// The Custom Screens page: the screen files of the Screens folder, their problems and
// approvals, and the commands that make, copy, open and show them.

#include <QWidget>

class CustomScreenFilesSection;
class DeviceManager;

class CustomScreensView : public QWidget {
public:
    explicit CustomScreensView(DeviceManager& deviceManager, QWidget* parent = nullptr);

    CustomScreenFilesSection* filesSection() const { return m_files; }

private:
    CustomScreenFilesSection* m_files = nullptr;
};
