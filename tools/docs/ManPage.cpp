#include "ManPage.h"

#include <QRegularExpression>

#include <functional>

namespace Roff {

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            out += QStringLiteral("\\e");
        } else if (c == u'-' && (i == 0 || !text[i - 1].isLetterOrNumber())) {
            // "--seconds", "-s", "-5": a minus sign, so that the name can be searched and
            // copied; a hyphen within a word ("screen-files") stays one.
            out += QStringLiteral("\\-");
        } else {
            out += c;
        }
    }
    if (out.startsWith(u'.') || out.startsWith(u'\''))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString emphasized(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("\\b[A-Z][A-Z_]*\\b(?:\\.\\.\\.)?"));
    QString out;
    qsizetype at = 0;
    const auto bold = [&](qsizetype end) {
        const QString part = text.mid(at, end - at);
        if (!part.trimmed().isEmpty())
            out += QStringLiteral("\\fB") + escaped(part) + QStringLiteral("\\fR");
        else
            out += part;
    };
    QRegularExpressionMatchIterator matches = placeholder.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        bold(match.capturedStart());
        out += QStringLiteral("\\fI") + escaped(match.captured()) + QStringLiteral("\\fR");
        at = match.capturedEnd();
    }
    bold(text.size());
    return out;
}

}  // namespace Roff

namespace {

QString lines(const QStringList& text)
{
    QString out;
    for (const QString& line : text)
        out += Roff::escaped(line) + u'\n';
    return out;
}

// The blocks of a help after its usage line; a heading opens a section (a subsection within
// a command's own help). sectionEnds adds to a section as it ends.
QString blocks(const QList<HelpText::Block>& blocks, const QString& sectionMacro,
               const std::function<QString(const QString& section)>& sectionEnds = {})
{
    QString out;
    QString current;
    bool needBreak = false;
    for (const HelpText::Block& block : blocks) {
        switch (block.kind) {
        case HelpText::Block::Kind::heading:
            if (sectionEnds)
                out += sectionEnds(current);
            current = block.lines.value(0).toUpper();
            out += sectionMacro + QStringLiteral(" \"") + current + QStringLiteral("\"\n");
            needBreak = false;
            break;
        case HelpText::Block::Kind::paragraph:
            if (needBreak)
                out += QStringLiteral(".PP\n");
            out += lines(block.lines);
            needBreak = true;
            break;
        case HelpText::Block::Kind::rows:
            for (const HelpText::Row& row : block.rows)
                out += QStringLiteral(".TP\n") + Roff::emphasized(row.term) + u'\n' + lines(row.description);
            // Text after the rows starts at the left margin again.
            needBreak = true;
            break;
        }
    }
    if (sectionEnds)
        out += sectionEnds(current);
    return out;
}

QString synopsis(const QString& usage)
{
    const qsizetype space = usage.indexOf(u' ');
    const QString program = space < 0 ? usage : usage.left(space);
    QString out = QStringLiteral(".B ") + Roff::escaped(program) + u'\n';
    if (space >= 0)
        out += Roff::emphasized(usage.mid(space + 1)) + u'\n';
    return out;
}

}  // namespace

QString ManPage::toRoff() const
{
    QString out;
    out += QStringLiteral(".\\\" -*- coding: UTF-8 -*-\n");
    out += QStringLiteral(".\\\" Written by the build from the program's --help text.\n");
    out += QStringLiteral(".TH \"%1\" \"%2\" \"%3\" \"%4\" \"%5\"\n")
               .arg(name.toUpper(), QString::number(section), date, source, manual);
    out += QStringLiteral(".SH NAME\n");
    // The first line of the description, as a phrase: "tarv \- talks to the running …".
    QList<HelpText::Block> rest = help.blocks;
    QString summary;
    QStringList description;
    if (!rest.isEmpty() && rest.first().kind == HelpText::Block::Kind::paragraph) {
        description = rest.takeFirst().lines;
        summary = description.first();
        if (summary.endsWith(u'.'))
            summary.chop(1);
        if (!summary.isEmpty() && !summary.startsWith(QLatin1String("Qt")))
            summary[0] = summary[0].toLower();
    }
    out += Roff::escaped(name) + QStringLiteral(" \\- ") + Roff::escaped(summary) + u'\n';
    out += QStringLiteral(".SH SYNOPSIS\n") + synopsis(help.usage);
    if (!description.isEmpty())
        out += QStringLiteral(".SH DESCRIPTION\n") + lines(description);
    // The help of each command follows the list of commands, each in a subsection titled
    // with its usage line.
    bool commandsTold = commandHelps.isEmpty();
    const auto commandDetails = [&](const QString& section) {
        if (section != QLatin1String("COMMANDS") || commandsTold)
            return QString();
        commandsTold = true;
        QString details;
        for (const HelpText& command : commandHelps) {
            details += QStringLiteral(".SS \"") + Roff::escaped(command.usage).replace(u'"', QStringLiteral("\\(dq")) +
                       QStringLiteral("\"\n");
            details += blocks(command.blocks, QStringLiteral(".SS"));
        }
        return details;
    };
    out += blocks(rest, QStringLiteral(".SH"), commandDetails);
    if (!commandsTold)
        out += QStringLiteral(".SH COMMANDS\n") + commandDetails(QStringLiteral("COMMANDS"));
    if (!seeAlso.isEmpty()) {
        out += QStringLiteral(".SH \"SEE ALSO\"\n");
        QStringList references;
        static const QRegularExpression reference(QStringLiteral("^(.+)\\((\\d)\\)$"));
        for (const QString& page : seeAlso) {
            const QRegularExpressionMatch match = reference.match(page);
            references.append(match.hasMatch() ? QStringLiteral(".BR %1 (%2)").arg(Roff::escaped(match.captured(1)),
                                                                                      match.captured(2))
                                               : Roff::escaped(page));
        }
        out += references.join(QStringLiteral(",\n")) + u'\n';
    }
    return out;
}
