#pragma once
// Text from outside shown where the user must see exactly what it holds: what a screen file
// asks to run, fetch, type or press before the user approves it, and every line the `tarv`
// tool prints. A control character can end a line early, move a terminal's cursor back over
// what was printed or split a row in two; a bidirectional control can turn the rest of a
// command around so that what runs reads as a comment; a character that shows as nothing, or
// as a plain space, can make two different commands look the same. Each becomes a visible
// escape in its place, so the text reads in the order it runs.

#include <QString>
#include <QStringView>

// `kept`: a line of columns separated by tabs, each column made visible by visibleText already;
// its backslashes are those escapes' own and stay as they are.
enum class VisibleTabs { escaped, kept };

// C0 controls, DEL and C1 controls become "\n", "\r", "\t" or "\x1B"; format characters, line
// and paragraph separators, unpaired surrogates, every space but U+0020, every default
// ignorable code point (U+3164, U+034F, variation selectors …), the blank braille cell
// U+2800, the object replacement U+FFFC, private-use and unassigned code points become
// "\u3164" (or "\U000E0100" beyond the Basic Multilingual Plane). A mark drawn over the
// character before it is escaped when two marks sit on that character already, or when it has
// none of its own (at the start, or after an escape). A backslash is written "\\" where the
// text after it would read as an escape ("\\n" for a typed backslash and n, "\\\n" for a
// backslash before a line break) and stays single elsewhere, so a command that holds neither
// reads exactly as typed, and no two texts show the same. A tab is kept only when asked, where
// it separates columns. The text is returned as it is (shared, not copied) when nothing in it
// changes.
QString visibleText(const QString& text, VisibleTabs tabs = VisibleTabs::escaped);

// The same for a title or label, which is read but never runs: an emoji keeps the selector
// U+FE0F that asks for its emoji form, and a zero width joiner between two emoji stays, so a
// sequence is drawn as the one emoji it makes.
QString visibleTitle(const QString& text);

// What an approval lists of a command, a header's value, a text typed, a name or a host: as
// visibleText, and each character that passes for another (lookAlikeCharacters: "а" in a Latin
// word, "e" and U+0301 against "é", "’" against "'") and each typographic quote is written as an
// escape too, so two texts that run differently never read alike.
QString approvalText(const QString& text);
// approvalText between the quotes U+201C and U+201D, which nothing in it can end.
QString approvalQuote(const QString& text);
// A title or label between the quotes U+201C and U+201D: visibleTitle, its own such quotes
// written out.
QString quotedTitle(const QString& text);
// Whether approvalText writes out more than visibleText does: what earlier versions showed of
// the text looked like another text.
bool showsLookAlikes(const QString& text);

// C0 controls, DEL and C1 controls.
bool isControlCharacter(char32_t c);
// The escape that stands for `c` where it must not show as it is: "\n", "\r", "\t", "\x1B",
// "\u202E" or "\U000E0041".
void appendVisibleEscape(QString& out, char32_t c);
