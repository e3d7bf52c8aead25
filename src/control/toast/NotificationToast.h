#pragma once
// A notification from the shell, fitted to the device: one line at size 18, or up to two
// wrapped lines at size 14, and the card nodes that show it over the page.

#include "link/PatchOp.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

struct NotificationToast {
    // The card's node; its bell and lines follow it.
    static constexpr std::uint32_t cardNode = 9000;
    static constexpr std::uint32_t pageNode = 100;
    // The room beside the bell that a line may take.
    static constexpr int lineWidth = 372;

    QStringList lines;
    int fontSize = 0;

    // None when nothing of the text can be drawn by the device font.
    static std::optional<NotificationToast> fromText(const QString& text);

    // One device line of drawable characters, single blanks between words, at most 120
    // characters.
    static QString cleanText(const QString& text);
    // The text without the scalars the size-14 font has no glyph for.
    static QString keepDrawableScalars(const QString& text);
    // A greedy wrap into at most maxLines lines; the last ends in "..." when words are left
    // over, and a word wider than a line is split.
    static QStringList wrapWords(const QString& text, int fontSize, int maxWidth, int maxLines);
    // The longest start of text that fits maxWidth with the suffix appended, trimmed of
    // blanks and tabs, then the suffix.
    static QString fitWithSuffix(const QString& text, const QString& suffix, int fontSize, int maxWidth);

    // The card's operations at insertIndex under the page node; replaceExisting removes the
    // card the device shows first, so a new toast takes its place in one patch.
    static QList<TarvUSB::PatchOp> patchOps(int insertIndex, bool replaceExisting, const NotificationToast& toast);

    friend bool operator==(const NotificationToast&, const NotificationToast&) = default;
};
