#include "Completion.h"

#include <QMap>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

namespace {

// Every name written into a script is one of these, so no shell reads it as anything else.
const QString& plain(const QString& name)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_.][A-Za-z0-9_.-]*$|^--?[A-Za-z0-9][A-Za-z0-9_-]*$"));
    if (!safe.match(name).hasMatch()) {
        std::fprintf(stderr, "completion: \"%s\" is not a plain name\n", qPrintable(name));
        std::abort();
    }
    return name;
}

QString joined(const QStringList& names)
{
    QStringList checked;
    for (const QString& name : names)
        checked.append(plain(name));
    return checked.join(u' ');
}

// The model as tables keyed by a command's whole name ("tarv screen show"), the program's
// own name standing for the program before any command.
struct Tables {
    QMap<QString, QStringList> children;
    QMap<QString, QString> summaries;  // keyed by the child's whole name
    QMap<QString, QStringList> options;
    QMap<QString, QStringList> valued;
    QMap<QString, QString> operands;
    QMap<QString, qsizetype> limits;
    QString pageNames;
};

Tables tablesOf(const Completion& model)
{
    Tables tables;
    plain(model.program);
    tables.options[model.program] = model.options;
    for (const Completion::Command& command : model.commands) {
        QString key = model.program;
        for (const QString& word : command.words)
            key += u' ' + plain(word);
        const QString parent = key.left(key.lastIndexOf(u' '));
        if (!tables.children[parent].contains(command.words.last()))
            tables.children[parent].append(command.words.last());
        tables.summaries[key] = command.summary;
        tables.options[key] = command.options;
        if (!command.valuedOptions.isEmpty())
            tables.valued[key] = command.valuedOptions;
        if (command.operand != Completion::Operand::text)
            tables.operands[key] = command.operand == Completion::Operand::path ? QStringLiteral("path")
                                                                                 : QStringLiteral("page");
        tables.limits[key] = command.maxOperands;
    }
    tables.pageNames = joined(model.pageNamesCommand);
    return tables;
}

QString header(const QString& shell, const Completion& model, const QString& comment)
{
    return QStringLiteral("%1 %2 completion of %3: its commands, their options, file names where a command takes a\n"
                          "%1 path, and the pages that the running program lists. Written by the build from the\n"
                          "%1 program's command table; edit that, not this file.\n")
        .arg(comment, shell, model.program);
}

// key=value pairs of an associative array in bash's or zsh's form.
QString bashPairs(const QMap<QString, QString>& pairs)
{
    QString out;
    for (auto it = pairs.begin(); it != pairs.end(); ++it)
        out += QStringLiteral("        [\"%1\"]=\"%2\"\n").arg(it.key(), it.value());
    return out;
}

QString zshPairs(const QMap<QString, QString>& pairs)
{
    QString out;
    for (auto it = pairs.begin(); it != pairs.end(); ++it)
        out += QStringLiteral("    '%1' '%2'\n").arg(it.key(), it.value());
    return out;
}

QMap<QString, QString> words(const QMap<QString, QStringList>& lists)
{
    QMap<QString, QString> out;
    for (auto it = lists.begin(); it != lists.end(); ++it)
        out[it.key()] = joined(it.value());
    return out;
}

// Keys "COMMAND OPTION" for the options that take a value.
QMap<QString, QString> valuedKeys(const Tables& tables)
{
    QMap<QString, QString> out;
    for (auto it = tables.valued.begin(); it != tables.valued.end(); ++it) {
        for (const QString& option : it.value())
            out[it.key() + u' ' + plain(option)] = QStringLiteral("1");
    }
    return out;
}

QMap<QString, QString> limitTexts(const Tables& tables)
{
    QMap<QString, QString> out;
    for (auto it = tables.limits.begin(); it != tables.limits.end(); ++it)
        out[it.key()] = QString::number(it.value());
    return out;
}

QString fishQuoted(const QString& text)
{
    QString out = text;
    out.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + out + u'\'';
}

// A fish function that prints, for a command's whole name, the lines given.
QString fishLookup(const QString& name, const QMap<QString, QStringList>& lines)
{
    QString out = QStringLiteral("function %1\n    switch \"$argv\"\n").arg(name);
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        if (it.value().isEmpty())
            continue;
        out += QStringLiteral("        case %1\n            printf '%s\\n'").arg(fishQuoted(it.key()));
        for (const QString& line : it.value())
            out += u' ' + fishQuoted(line);
        out += u'\n';
    }
    return out + QStringLiteral("    end\nend\n\n");
}

}  // namespace

QString Completion::bash() const
{
    const Tables tables = tablesOf(*this);
    const QString function = QStringLiteral("_") + program;
    return header(QStringLiteral("bash"), *this, QStringLiteral("#")) + QStringLiteral(R"SH(
%1()
{
    local -A children=(
%2    )
    local -A options=(
%3    )
    local -A valued=(
%4    )
    local -A operand=(
%5    )
    local -A limits=(
%6    )
    local cur=${COMP_WORDS[COMP_CWORD]} command=%7 word name rest
    local -i i depth=0 count=0 ended=0 limit
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((i == depth + 1)) && [[ " ${children[$command]} " == *" $word "* ]]; then
            command+=" $word"
            depth+=1
        elif ((!ended)) && [[ $word == -- ]]; then
            ended=1
        elif ((!ended)) && [[ $word == -[!0-9.]* ]]; then
            [[ -n ${valued["$command $word"]} ]] && i+=1
        else
            count+=1
        fi
    done
    # The word typed is the value of an option.
    ((i > COMP_CWORD)) && return 0
    if ((!ended)) && [[ $cur == -* ]]; then
        if ((depth > 0 || COMP_CWORD == 1)); then
            COMPREPLY=($(compgen -W "${options[$command]}" -- "$cur"))
        fi
        return 0
    fi
    if ((COMP_CWORD == depth + 1)) && [[ -n ${children[$command]} ]]; then
        COMPREPLY=($(compgen -W "${children[$command]}" -- "$cur"))
        return 0
    fi
    limit=${limits[$command]:-0}
    ((limit >= 0 && count >= limit)) && return 0
    case ${operand[$command]} in
    page)
        while IFS=$'\t' read -r name rest; do
            [[ -n $name && $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
        done < <(timeout 2 %8 2>/dev/null)
        ;;
    path)
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -f -- "$cur"))
        ;;
    esac
    return 0
}
complete -F %1 %7
)SH")
        .arg(function, bashPairs(words(tables.children)), bashPairs(words(tables.options)),
             bashPairs(valuedKeys(tables)), bashPairs(tables.operands), bashPairs(limitTexts(tables)), program,
             tables.pageNames);
}

QString Completion::zsh() const
{
    const Tables tables = tablesOf(*this);
    return QStringLiteral("#compdef %1\n").arg(program) + header(QStringLiteral("zsh"), *this, QStringLiteral("#")) +
           QStringLiteral(R"SH(
local -A children options valued operand limits
children=(
%1)
options=(
%2)
valued=(
%3)
operand=(
%4)
limits=(
%5)
local command=%6 word cur=${words[CURRENT]}
local -a pages
integer i depth=0 count=0 ended=0 limit
for (( i = 2; i < CURRENT; i++ )); do
    word=${words[i]}
    if (( i == depth + 2 )) && (( ${${=children[$command]}[(Ie)$word]} )); then
        command+=" $word"
        (( depth += 1 ))
    elif (( ! ended )) && [[ $word == -- ]]; then
        ended=1
    elif (( ! ended )) && [[ $word == -[^0-9.]* ]]; then
        [[ -n ${valued[$command $word]} ]] && (( i += 1 ))
    else
        (( count += 1 ))
    fi
done
# The word typed is the value of an option.
(( i > CURRENT )) && return 1
if (( ! ended )) && [[ $cur == -* ]]; then
    (( depth > 0 || CURRENT == 2 )) && compadd -- ${=options[$command]}
    return
fi
if (( CURRENT == depth + 2 )) && [[ -n ${children[$command]} ]]; then
    compadd -- ${=children[$command]}
    return
fi
limit=${limits[$command]:-0}
(( limit >= 0 && count >= limit )) && return 1
case ${operand[$command]} in
    (page)
        pages=(${(f)"$(timeout 2 %7 2>/dev/null)"})
        pages=(${pages%%$'\t'*})
        compadd -- ${pages:#}
        ;;
    (path)
        _files
        ;;
esac
)SH")
               .arg(zshPairs(words(tables.children)), zshPairs(words(tables.options)), zshPairs(valuedKeys(tables)),
                    zshPairs(tables.operands), zshPairs(limitTexts(tables)), program, tables.pageNames);
}

QString Completion::fish() const
{
    const Tables tables = tablesOf(*this);
    const QString prefix = QStringLiteral("__") + program + u'_';
    // A command's children with their summaries, as fish shows them: "name<tab>summary".
    QMap<QString, QStringList> described;
    for (auto it = tables.children.begin(); it != tables.children.end(); ++it) {
        for (const QString& child : it.value()) {
            const QString summary = tables.summaries.value(it.key() + u' ' + child);
            described[it.key()].append(summary.isEmpty() ? child : child + u'\t' + summary);
        }
    }
    QMap<QString, QStringList> operands;
    for (auto it = tables.operands.begin(); it != tables.operands.end(); ++it)
        operands[it.key()] = {it.value()};
    QMap<QString, QStringList> limits;
    for (auto it = tables.limits.begin(); it != tables.limits.end(); ++it)
        limits[it.key()] = {QString::number(it.value())};

    QString out = header(QStringLiteral("fish"), *this, QStringLiteral("#")) + u'\n';
    out += fishLookup(prefix + QStringLiteral("children"), described);
    out += fishLookup(prefix + QStringLiteral("options"), tables.options);
    out += fishLookup(prefix + QStringLiteral("valued"), tables.valued);
    out += fishLookup(prefix + QStringLiteral("operand"), operands);
    out += fishLookup(prefix + QStringLiteral("limit"), limits);
    out += QStringLiteral(R"SH(function %1complete
    set -l words (commandline -opc)
    set -l current (commandline -ct)
    set -l command %2
    set -l depth 0
    set -l count 0
    set -l ended 0
    set -l i 2
    while test $i -le (count $words)
        set -l word $words[$i]
        if test $i -eq (math $depth + 2); and contains -- $word (%1children $command | string replace -r '\t.*' '')
            set command "$command $word"
            set depth (math $depth + 1)
        else if test $ended -eq 0; and test "$word" = --
            set ended 1
        else if test $ended -eq 0; and string match -qr -- '^-[^0-9.]' $word
            contains -- $word (%1valued $command); and set i (math $i + 1)
        else
            set count (math $count + 1)
        end
        set i (math $i + 1)
    end
    set -l position (math (count $words) + 1)
    # The word typed is the value of an option.
    test $i -gt $position; and return
    if test $ended -eq 0; and string match -q -- '-*' $current
        if test $depth -gt 0 -o $position -eq 2
            %1options $command
        end
        return
    end
    if test $position -eq (math $depth + 2)
        set -l children (%1children $command)
        if set -q children[1]
            printf '%s\n' $children
            return
        end
    end
    set -l limit (%1limit $command)
    test -n "$limit"; or set limit 0
    test $limit -ge 0 -a $count -ge $limit; and return
    switch (%1operand $command)
        case page
            timeout 2 %3 2>/dev/null | string split -f1 \t | string match -v ''
        case path
            __fish_complete_path $current
    end
end

complete -c %2 -f -a '(%1complete)'
)SH")
        .arg(prefix, program, tables.pageNames);
    return out;
}
