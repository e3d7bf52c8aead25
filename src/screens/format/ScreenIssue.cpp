#include "screens/format/ScreenIssue.h"

#include <algorithm>

QString ScreenIssue::id() const
{
    return file + u'|' + path + u'|' + message;
}

QString ScreenIssue::displayText() const
{
    return path.isEmpty() ? message : path + QStringLiteral(": ") + message;
}

bool hasErrors(const QList<ScreenIssue>& issues)
{
    return std::any_of(issues.begin(), issues.end(),
                       [](const ScreenIssue& i) { return i.severity == ScreenIssue::Severity::error; });
}

void ScreenIssueSink::error(const QString& path, const QString& message)
{
    issues.append({file, path, message, ScreenIssue::Severity::error});
}

void ScreenIssueSink::warning(const QString& path, const QString& message)
{
    issues.append({file, path, message, ScreenIssue::Severity::warning});
}
