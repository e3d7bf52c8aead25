#pragma once
// The completion of a program of commands for bash, zsh and fish, written from one model of
// its commands: the words that name each, its options, what its operands are and how many it
// takes. Each shell reads the words typed so far as the program does: a command's words come
// first, an option is a word that starts with "-" but for a negative number, and "--" ends the
// options.

#include <QList>
#include <QString>
#include <QStringList>

struct Completion {
    enum class Operand { text, pageName, path };

    struct Command {
        QStringList words;            // {"screen", "show"}
        QStringList options;          // {"-h", "--help", "-s", "--seconds"}
        QStringList valuedOptions;    // those of options that take the next word as their value
        Operand operand = Operand::text;
        qsizetype maxOperands = 0;    // -1: any number
        QString summary;              // shown beside the command where a shell shows one
    };

    QString program;                  // "tarv"
    QStringList options;              // of the program alone, before any command
    // The command line that prints the names of the pages, one a line, each ending at a tab.
    QStringList pageNamesCommand;
    QList<Command> commands;

    QString bash() const;
    QString zsh() const;
    QString fish() const;
};
