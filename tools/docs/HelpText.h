#pragma once
// A program's --help text read back into its parts, so that the manual page and the shells'
// completion are written from the text a user sees and cannot tell of anything else. The
// form read is the one Tarv's programs print (and QCommandLineParser prints): a "Usage:" line,
// paragraphs of text, headings such as "Options:" alone on a line, and two-column rows whose
// description starts at one column throughout a block and may go on in lines indented to it.

#include <QList>
#include <QString>
#include <QStringList>

struct HelpText {
    struct Row {
        QString term;
        // Its lines as written, without the indentation.
        QStringList description;
    };
    struct Block {
        enum class Kind { paragraph, heading, rows };
        Kind kind;
        // A paragraph's lines, or a heading's one line without its colon.
        QStringList lines;
        QList<Row> rows;
    };

    // What follows "Usage: " on the first line; empty when the text has no such line.
    QString usage;
    QList<Block> blocks;

    static HelpText parse(const QString& text);

    // The option names a row's term gives ("-s", "--seconds" of "-s, --seconds N"), and
    // whether the option takes a value; none when the term is not an option's.
    struct Option {
        QStringList names;
        bool takesValue = false;
    };
    static Option optionOf(const QString& term);
};
