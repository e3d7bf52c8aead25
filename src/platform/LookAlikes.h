#pragma once
// The characters of a text that pass for others, as UTS #39 (ICU's spoof checker) and Unicode
// normalisation tell them: what an approval lists must not let one command, address or name
// look like another that does something else.

#include <QStringView>

#include <vector>

// For each UTF-16 unit of the text, whether the character that begins there passes for another:
// - a character that composed normalisation (NFC) would change: a mark that joins the letter
//   before it into a letter of its own ("e" and U+0301 against "é"), every mark after it, and a
//   character with another canonical form (U+212B against "Å", U+037E against ";");
// - a character with a compatibility form, which draws as the text that form stands for
//   ("ｅ", "𝐚", "ﬁ", "／", "²");
// - in a word (a run of letters, marks and digits) that mixes scripts beyond what one writing
//   system uses, or digits of several systems, each character outside the Latin script and
//   each such digit; in one whose marks hide (a dot on "i") or repeat, each mark;
// - a letter or digit outside ASCII that is confusable with ASCII letters or digits ("а", "ɑ",
//   "ℓ"), in a word that holds a Latin letter or whose every letter passes for ASCII ("сосо");
//   one confusable with ASCII signs (U+02D0 for ":") in any word;
// - outside words, a character confusable with ASCII ("‐", "’", "“", "…");
// - a mark on a space or a sign, or on a letter of another script than the mark's own.
// ASCII itself is never marked, so an ASCII text costs one pass and no lookup.
std::vector<bool> lookAlikeCharacters(QStringView text);
