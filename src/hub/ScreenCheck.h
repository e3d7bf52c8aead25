#pragma once
// The `screen check` command: a screen file read and judged as the Screens folder would,
// without installing it, answered as the lines the tool prints.

#include "control/NotifyChannel.h"

#include <QString>

// Reads only a regular file of at most 1 MiB, so a FIFO or a device file cannot hold the
// caller; still file I/O, so never called on the GUI thread.
NotifyChannel::Reply checkScreenFile(const QString& path);
