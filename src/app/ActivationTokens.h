#pragma once
// What the launcher of a start hands it for bringing a window forward: the Wayland activation
// token (XDG_ACTIVATION_TOKEN) and the X11 startup id (DESKTOP_STARTUP_ID). A second start
// passes them on to the running copy, whose window is the one to come forward. Either may be
// empty; a value that is not a plain token (printable ASCII without spaces, within a bound) is
// taken as none, so that it can travel on one line.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

struct ActivationTokens {
    QString xdgActivationToken;
    QString startupId;

    // The longest value taken.
    static constexpr qsizetype maxTokenBytes = 512;

    static ActivationTokens fromEnvironment(const QProcessEnvironment& environment);
    // Whether a value can be passed on as a token.
    static bool isPlainToken(const QByteArray& value);

    // The request line of a second start: "show", then " key=value" for each token it has,
    // then a line feed.
    QByteArray request() const;
    // The tokens of a request line (with or without its line feed); none when the line is no
    // show request. Keys it does not know, and values that are no plain tokens, are left out.
    static std::optional<ActivationTokens> fromRequest(const QByteArray& line);

    bool operator==(const ActivationTokens&) const = default;
};
