#pragma once
// The shots of the Screensaver page: with one and with three photos, a failed import, and
// the crop editor on a test picture.

#include "DeviceShots.h"

// "main-screensaver-one-photo", "main-screensaver-three-photos", "page-screensaver-three-photos"
// and "dialog-crop-editor". False when the photos could not be stored.
bool drawScreensaverPage(MainWindow& window, DeviceManager& hub, const SaveShot& save);
