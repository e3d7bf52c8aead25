#pragma once
// The commands of the `tarv` tool: the words that name each, its help text, how many operands
// it takes and the request they make. The tool reads its arguments against this table, and
// the build writes the manual page and the shells' completion from it, so neither can tell of
// a command or an option the tool does not have.

#include "control/NotifyChannel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <variant>

namespace ToolCommands {

// Most answers come at once; a snapshot waits for the whole picture to cross the serial line.
constexpr double answerTimeout = 10;
constexpr double snapshotTimeout = 60;
// Tarv shows a card from 1 to 600 seconds; another number would be changed without a word.
constexpr double defaultNotifySeconds = 5;
constexpr double minNotifySeconds = 1;
constexpr double maxNotifySeconds = 600;

// The help of the tool as a whole: its commands, its own options and its exit statuses.
extern const char* const usageText;

struct Call {
    NotifyChannel::Request request;
    double timeout = answerTimeout;
};

// A command's operands once its options are read.
struct Operands {
    QStringList words;
    double seconds = defaultNotifySeconds;
};

using Outcome = std::variant<Call, QString>;

// What an operand names, so that a shell can offer the values that fit.
enum class OperandKind { text, pageName, path };

// One command of the tool. Its words name it ("screen", "show"); the longest command whose
// words begin the arguments is the one asked for.
struct Command {
    QStringList words;
    const char* help;
    qsizetype minOperands;
    qsizetype maxOperands;
    // Said when the number of operands is out of range.
    const char* countProblem;
    // What an operand is, for a command that takes no empty one ("the page name is empty");
    // none where the command's own checks word it.
    const char* operandName;
    OperandKind operandKind;
    bool takesSeconds;
    // The request the operands make, or why they make none; a command without one only
    // groups others.
    Outcome (*call)(const Operands&);
};

constexpr qsizetype any = -1;

const QList<Command>& commands();

}  // namespace ToolCommands
