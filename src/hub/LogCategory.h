#pragma once
// The logging category every connection log line is also written to, at info level.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(tarvDevice)
