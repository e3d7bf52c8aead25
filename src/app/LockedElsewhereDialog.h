#pragma once
// Asked at start when the lock beside the settings names a copy of Tarv on another machine (a
// home folder shared with it, or restored from it): whether it still runs there cannot be
// found out from here. Says which machine, since when and which file, and lets the user start
// anyway once no copy of Tarv runs there.

#include "platform/SingleInstanceLock.h"

#include <QMessageBox>

class QPushButton;

class LockedElsewhereDialog : public QMessageBox {
    Q_OBJECT
public:
    LockedElsewhereDialog(const SingleInstanceLock::Holder& holder, const QString& lockPath,
                          QWidget* parent = nullptr);

    QPushButton* startAnywayButton() const { return m_startAnyway; }
    QPushButton* quitButton() const { return m_quit; }

signals:
    void startAnywayChosen();
    void quitChosen();

private:
    QPushButton* m_startAnyway = nullptr;
    QPushButton* m_quit = nullptr;
};
