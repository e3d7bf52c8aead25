#pragma once
// What a macro key (or a screen-file button) does when pressed: sent back to the device as a
// HID report, run on the desktop, a page switch, or nothing.

#include "macros/AppTarget.h"
#include "macros/KeyChord.h"
#include "macros/MediaKey.h"
#include "macros/ScreenshotOptions.h"

#include <QHash>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>

struct MacroAction {
    enum class Kind : std::uint8_t {
        unassigned,
        keystroke,
        media,
        openApp,
        openURL,
        runShortcut,
        typeText,
        screenshot,
        showScreen,
    };
    static constexpr std::array<Kind, 9> allKinds = {
        Kind::unassigned, Kind::keystroke,  Kind::media,      Kind::openApp,    Kind::openURL,
        Kind::runShortcut, Kind::typeText,  Kind::screenshot, Kind::showScreen,
    };
    static QString kindRawValue(Kind kind);
    static std::optional<Kind> kindFromRawValue(QStringView text);

    // The payloads of the text-carrying kinds, kept apart so the variant tells them apart.
    struct Unassigned {
        friend bool operator==(const Unassigned&, const Unassigned&) = default;
    };
    struct OpenURL {
        QString url;
        // What `url` opens, kept from the one reading that judged it where it was read (a screen
        // button's address, when its file loads or its values fill it); empty where nothing
        // judged it (a macro key's own address, read when the key is pressed). It follows from
        // the text, so the text alone tells two actions apart.
        QUrl address;
        friend bool operator==(const OpenURL& a, const OpenURL& b) { return a.url == b.url; }
    };
    struct RunShortcut {
        QString name;
        friend bool operator==(const RunShortcut&, const RunShortcut&) = default;
    };
    struct TypeText {
        QString text;
        friend bool operator==(const TypeText&, const TypeText&) = default;
    };
    struct ShowScreen {
        QString screen;
        friend bool operator==(const ShowScreen&, const ShowScreen&) = default;
    };

    // Alternatives in the order of Kind.
    using Value = std::variant<Unassigned, KeyChord, MediaKey, AppTarget, OpenURL, RunShortcut, TypeText,
                               ScreenshotOptions, ShowScreen>;
    Value value;

    static MacroAction unassigned() { return {Unassigned{}}; }
    static MacroAction keystroke(KeyChord chord) { return {chord}; }
    static MacroAction media(MediaKey key) { return {key}; }
    static MacroAction openApp(AppTarget app) { return {std::move(app)}; }
    static MacroAction openURL(QString url, QUrl address = {}) { return {OpenURL{std::move(url), std::move(address)}}; }
    static MacroAction runShortcut(QString name) { return {RunShortcut{std::move(name)}}; }
    static MacroAction typeText(QString text) { return {TypeText{std::move(text)}}; }
    static MacroAction screenshot(ScreenshotOptions options) { return {options}; }
    static MacroAction showScreen(QString screen) { return {ShowScreen{std::move(screen)}}; }

    Kind kind() const { return static_cast<Kind>(value.index()); }
    template <class T> const T* as() const { return std::get_if<T>(&value); }

    // Whether the action is set up enough to run.
    bool isConfigured() const;
    // What keeps it from being set up, in words for the key's inspector; empty exactly when it
    // is set up.
    QString setupProblem() const;

    // An open-URL action with its {{key}} placeholders filled from the values, and the address
    // it opens read from the filled text; empty when a value is missing, the filled text is not
    // an http(s) address a button may open, or a value reaches beyond the part of the address
    // where its placeholder stands (then `refusal`, when given, says so). An address made wholly
    // of values may also be a mailto address, which keeps only its to, cc, bcc, subject and
    // body (then `note`, when given, says what it left out). Any other action, and an address
    // without placeholders, is returned unchanged.
    MacroAction resolvedWebURL(const QHash<QString, QString>& values, QString* refusal = nullptr,
                               QString* note = nullptr) const;

    friend bool operator==(const MacroAction&, const MacroAction&) = default;
};

// One line describing the action, for logs and permission lists.
QString actionSummary(const MacroAction& action);

std::size_t qHash(const MacroAction& action, std::size_t seed = 0);

template <> struct std::hash<MacroAction> {
    std::size_t operator()(const MacroAction& action) const { return qHash(action); }
};
