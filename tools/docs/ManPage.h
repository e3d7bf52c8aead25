#pragma once
// A manual page in roff (man macros) written from a program's --help text: its synopsis from
// the usage line, its description from the first paragraphs, a section for each heading of
// the text and an indented paragraph for each of its rows. Nothing is written that the help
// does not say, but for the page's title line and its cross references.

#include "HelpText.h"

#include <QList>
#include <QString>
#include <QStringList>

struct ManPage {
    QString name;                 // "tarv"
    int section = 1;
    QString date;                 // "2026-12-09"
    QString source;               // "Tarv 0.1.0"
    QString manual;               // "User Commands"
    HelpText help;
    // Helps of single commands, each its own subsection of the COMMANDS section, titled
    // with its usage line.
    QList<HelpText> commandHelps;
    QStringList seeAlso;          // "tarv-app(1)"

    QString toRoff() const;
};

namespace Roff {

// Text as roff prints it: backslashes kept, a leading dot or quote not taken for a request,
// and a dash that starts an option's name printed as a minus sign.
QString escaped(const QString& text);

// A usage line or a row's term: placeholders (NAME, TEXT...) in italics, the rest in bold.
QString emphasized(const QString& text);

}  // namespace Roff
