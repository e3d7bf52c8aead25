#pragma once
// The Screensaver page's edits of its photo list as undo steps. Each asks the hub, and the page
// follows the hub's state as it does for every other change.

#include <QPointer>
#include <QUndoCommand>
#include <QUuid>

class DeviceManager;

// Removing a photo. While the step can be undone the hub keeps the photo's files aside; once
// the step is dropped with the photo removed, they go.
class RemovePhotoCommand : public QUndoCommand {
public:
    RemovePhotoCommand(DeviceManager& hub, const QUuid& id);
    ~RemovePhotoCommand() override;

    void redo() override;
    void undo() override;

private:
    QPointer<DeviceManager> m_hub;
    QUuid m_id;
    bool m_removed = false;
};

// Moving a photo `offset` places later in the order (earlier when negative); pushed only for a
// move that stays inside the list, so undoing it moves the photo back.
class MovePhotoCommand : public QUndoCommand {
public:
    MovePhotoCommand(DeviceManager& hub, const QUuid& id, int offset);

    void redo() override;
    void undo() override;

private:
    QPointer<DeviceManager> m_hub;
    QUuid m_id;
    int m_offset = 0;
};
