#pragma once
// A foot terminal as a window of a headless compositor's, with the app id of the test's choosing.

#include <QProcess>
#include <QString>

#include <memory>

namespace TarvFake {

// Starts foot on the compositor at `waylandDisplay`, its runtime files and log under `folder`;
// none, with `error` saying why, when it did not start within `timeoutMs`. `cat` keeps its
// window open until it is ended.
std::unique_ptr<QProcess> startFootWindow(const QString& waylandDisplay, const QString& folder,
                                          const QString& appId, int timeoutMs, QString& error);

// Why the window `appId` did not show, from the end of its terminal's log.
QString footWindowFailure(const QString& folder, const QString& appId);

}  // namespace TarvFake
