#include "app/LockedElsewhereDialog.h"

#include <QDir>
#include <QLocale>
#include <QPushButton>

LockedElsewhereDialog::LockedElsewhereDialog(const SingleInstanceLock::Holder& holder, const QString& lockPath,
                                             QWidget* parent)
    : QMessageBox(parent)
{
    setObjectName(QStringLiteral("lockedElsewhereDialog"));
    setIcon(QMessageBox::Warning);
    setWindowTitle(QStringLiteral("Tarv"));
    // The machine's name comes from the file.
    setTextFormat(Qt::PlainText);
    const QString machine = QStringLiteral("\u201C%1\u201D").arg(holder.machine);
    const QString since = QLocale().toString(holder.since, QLocale::ShortFormat);
    setText(QStringLiteral("Tarv on %1 has been using these settings since %2.").arg(machine, since));
    setInformativeText(
        QStringLiteral("Its lock file is %1. Two copies of Tarv that share settings overwrite each other's changes. "
                       "If Tarv no longer runs on %2 (it was shut down, or this home folder was copied from it), "
                       "you can start Tarv here anyway.")
            .arg(QDir::toNativeSeparators(lockPath), machine));
    m_startAnyway = addButton(QStringLiteral("Start Anyway"), QMessageBox::AcceptRole);
    m_startAnyway->setObjectName(QStringLiteral("startAnywayButton"));
    m_quit = addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    m_quit->setObjectName(QStringLiteral("quitButton"));
    // Starting beside a running copy is the choice that can lose changes.
    setDefaultButton(m_quit);
    setEscapeButton(m_quit);
    // Closing the window is Quit as well.
    connect(this, &QDialog::finished, this, [this] {
        if (clickedButton() == m_startAnyway)
            emit startAnywayChosen();
        else
            emit quitChosen();
    });
}
