#pragma once
// The shots of the page settings views drawn as whole pages in their telling states: the
// Custom Screens page over a Screens folder of its own, Now Playing and Stocks over the hub.

#include "DeviceShots.h"

class DeviceManager;

// "page-nowPlaying-{empty,normal}" and "page-stocks-{empty,normal,refreshing,error}".
void drawMediaPages(DeviceManager& hub, const SaveShot& save);
// "page-customScreens-{empty,normal,error}" with a hub of their own over `folder`, which the
// shots fill. False when the files could not be written.
bool drawCustomScreensPages(const QString& folder, const SaveShot& save);
