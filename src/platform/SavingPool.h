#pragma once
// Where files that the user asked for are written off the GUI thread (a snapshot saved where
// they chose). Tarv waits for this work when it quits; other work still running on a pool
// then is left unfinished, since nothing would look at its result.

#include <QThreadPool>

inline QThreadPool& savingPool()
{
    static QThreadPool pool;
    return pool;
}
