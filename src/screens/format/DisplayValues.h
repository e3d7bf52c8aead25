#pragma once
// The values a custom page is drawn from: placeholder key → text. A sparkline's history is
// kept under NUL + "history." + the key, as numbers joined by single spaces.

#include <QHash>
#include <QString>

using DisplayValues = QHash<QString, QString>;

inline QString historyKey(const QString& key)
{
    return QChar(u'\0') + QStringLiteral("history.") + key;
}
