#pragma once
// One problem found in a screen file: where it is (a dotted key path), what is wrong with it,
// and whether it keeps the file from being used as a page.

#include <QList>
#include <QString>

struct ScreenIssue {
    enum class Severity { error, warning };

    QString file;
    QString path;
    QString message;
    Severity severity = Severity::error;

    // file|path|message: stable across severities, so a list can key rows by it.
    QString id() const;
    // "path: message", or the message alone for the file as a whole.
    QString displayText() const;

    friend bool operator==(const ScreenIssue&, const ScreenIssue&) = default;
};

bool hasErrors(const QList<ScreenIssue>& issues);

// Where the readers of one file put what they find: the file's name and the caller's list.
struct ScreenIssueSink {
    QString file;
    QList<ScreenIssue>& issues;

    void error(const QString& path, const QString& message);
    void warning(const QString& path, const QString& message);
};
