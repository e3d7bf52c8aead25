#include "HelpText.h"

#include <QHash>
#include <QRegularExpression>

namespace {

qsizetype indentOf(const QString& line)
{
    qsizetype indent = 0;
    while (indent < line.size() && line[indent] == u' ')
        ++indent;
    return indent;
}

// Where the description of a row starts: after the first run of two or more blanks that
// follows the term; -1 for none.
qsizetype ownColumn(const QString& line)
{
    static const QRegularExpression gap(QStringLiteral("\\S( {2,})\\S"));
    const QRegularExpressionMatch match = gap.match(line, indentOf(line));
    return match.hasMatch() ? match.capturedEnd(1) : -1;
}

// The column that the descriptions of a block of rows start at: the one most of its term
// lines agree on, so that a row whose term fills the column up to one blank splits there too.
qsizetype blockColumn(const QStringList& lines)
{
    qsizetype termIndent = -1;
    for (const QString& line : lines)
        termIndent = termIndent < 0 ? indentOf(line) : std::min(termIndent, indentOf(line));
    QHash<qsizetype, int> votes;
    qsizetype column = -1;
    for (const QString& line : lines) {
        if (indentOf(line) != termIndent)
            continue;
        const qsizetype own = ownColumn(line);
        if (own >= 0 && (++votes[own] > votes.value(column) || column < 0))
            column = own;
    }
    return column;
}

QList<HelpText::Row> rowsOf(const QStringList& lines)
{
    const qsizetype column = blockColumn(lines);
    QList<HelpText::Row> rows;
    for (const QString& line : lines) {
        const qsizetype indent = indentOf(line);
        if (column >= 0 && indent >= column && !rows.isEmpty()) {
            rows.last().description.append(line.mid(indent));
            continue;
        }
        qsizetype split = column;
        if (split < 0 || split >= line.size() || line[split - 1] != u' ' || split <= indent)
            split = ownColumn(line);
        HelpText::Row row;
        if (split < 0) {
            row.term = line.trimmed();
        } else {
            row.term = line.mid(indent, split - indent).trimmed();
            row.description.append(line.mid(split).trimmed());
        }
        rows.append(row);
    }
    return rows;
}

}  // namespace

HelpText HelpText::parse(const QString& text)
{
    HelpText help;
    QStringList lines = text.split(u'\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    qsizetype first = 0;
    if (!lines.isEmpty() && lines[0].startsWith(QLatin1String("Usage: "))) {
        help.usage = lines[0].mid(7).trimmed();
        first = 1;
    }

    // A heading alone on a line ("Options:"), or leading a line of its own ("Exit status: 0 …").
    static const QRegularExpression heading(QStringLiteral("^([A-Z][a-z]+(?: [a-z]+){0,2}):(?: (.+))?$"));
    QStringList rowLines;
    const auto endRows = [&] {
        if (!rowLines.isEmpty())
            help.blocks.append(Block{Block::Kind::rows, {}, rowsOf(rowLines)});
        rowLines.clear();
    };
    bool inParagraph = false;
    for (qsizetype i = first; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed().isEmpty() ? QString() : lines[i];
        if (line.isEmpty()) {
            endRows();
            inParagraph = false;
            continue;
        }
        if (line.startsWith(u' ')) {
            inParagraph = false;
            rowLines.append(line);
            continue;
        }
        endRows();
        const bool alone = i + 1 == lines.size() || lines[i + 1].trimmed().isEmpty() || lines[i + 1].startsWith(u' ');
        const QRegularExpressionMatch match = heading.match(line);
        if (!inParagraph && match.hasMatch() && (match.captured(2).isEmpty() || alone)) {
            help.blocks.append(Block{Block::Kind::heading, {match.captured(1)}, {}});
            if (!match.captured(2).isEmpty())
                help.blocks.append(Block{Block::Kind::paragraph, {match.captured(2)}, {}});
            continue;
        }
        if (inParagraph)
            help.blocks.last().lines.append(line);
        else
            help.blocks.append(Block{Block::Kind::paragraph, {line}, {}});
        inParagraph = true;
    }
    endRows();
    return help;
}

HelpText::Option HelpText::optionOf(const QString& term)
{
    Option option;
    if (!term.startsWith(u'-'))
        return option;
    for (const QString& part : term.split(QStringLiteral(", "))) {
        const QStringList words = part.split(QRegularExpression(QStringLiteral("[ =]")), Qt::SkipEmptyParts);
        if (words.isEmpty() || !words[0].startsWith(u'-'))
            continue;
        option.names.append(words[0]);
        option.takesValue = option.takesValue || words.size() > 1;
    }
    return option;
}
