#include "ui/screensaver/PhotoCommands.h"

#include "hub/DeviceManager.h"

RemovePhotoCommand::RemovePhotoCommand(DeviceManager& hub, const QUuid& id)
    : QUndoCommand(QStringLiteral("Remove Photo")), m_hub(&hub), m_id(id)
{
}

RemovePhotoCommand::~RemovePhotoCommand()
{
    if (m_removed && m_hub)
        m_hub->discardRemovedScreensaverPhoto(m_id);
}

void RemovePhotoCommand::redo()
{
    if (!m_hub)
        return;
    m_hub->removeScreensaverPhoto(m_id);
    m_removed = true;
}

void RemovePhotoCommand::undo()
{
    if (!m_hub)
        return;
    m_hub->restoreScreensaverPhoto(m_id);
    m_removed = false;
}

MovePhotoCommand::MovePhotoCommand(DeviceManager& hub, const QUuid& id, int offset)
    : QUndoCommand(QStringLiteral("Move Photo")), m_hub(&hub), m_id(id), m_offset(offset)
{
}

void MovePhotoCommand::redo()
{
    if (m_hub)
        m_hub->moveScreensaverPhoto(m_id, m_offset);
}

void MovePhotoCommand::undo()
{
    if (m_hub)
        m_hub->moveScreensaverPhoto(m_id, -m_offset);
}
