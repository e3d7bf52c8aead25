#pragma once
// "Characters" as a reader sees them: extended grapheme clusters found by ICU's character
// break iterator. Use these instead of QString::left/size wherever a text is cut or counted.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// UTF-16 offsets where the characters of the text begin, followed by text.size(); the
// empty text gives {0}. A text of n characters gives n + 1 offsets.
QList<qsizetype> graphemeBoundaries(QStringView text);

// The number of characters of the text.
qsizetype graphemeCount(QStringView text);

// The first n characters (the whole text when it has fewer; nothing when n <= 0).
QString firstGraphemes(QStringView text, qsizetype n);

// The last n characters (the whole text when it has fewer; nothing when n <= 0).
QString lastGraphemes(QStringView text, qsizetype n);

// The text without its last n characters (nothing when it has n or fewer).
QString dropLastGraphemes(QStringView text, qsizetype n = 1);

// Each character of the text on its own, in order.
QStringList graphemes(QStringView text);
