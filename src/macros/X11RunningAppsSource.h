#pragma once
// The running applications of an X11 desktop: the managed windows on the root window's
// _NET_CLIENT_LIST, mapped to desktop entries as the frontmost window is. Each reading opens
// its own display connection on a worker thread.

#include "macros/RunningAppsSource.h"

#include <QStringList>

class X11RunningAppsSource final : public RunningAppsSource {
public:
    explicit X11RunningAppsSource(QString ownId = QStringLiteral("tarv"), QString ownName = QStringLiteral("Tarv"));

    QFuture<QList<RunningApp>> runningApps() override;

    // The reading itself, on the calling thread: nothing without an X11 display.
    static QList<RunningApp> read(const QByteArray& display, const QString& ownId, const QString& ownName,
                                  const QStringList& applicationDirs);

private:
    QString m_ownId;
    QString m_ownName;
};
