// Stands in for the notification command until the toast arrives.

#include "hub/DeviceManager.h"

NotifyChannel::Reply DeviceManager::runNotifyCommand(const NotifyChannel::Request&)
{
    if (!m_state.isConnected())
        return NotifyChannel::reply(false, QStringLiteral("Tarv is not connected to the device"));
    return NotifyChannel::reply(true);
}
