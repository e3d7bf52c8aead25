#include "app/ActivationTokens.h"

#include <algorithm>

namespace {

const QByteArray showWord = QByteArrayLiteral("show");
const QByteArray xdgKey = QByteArrayLiteral("xdg-activation-token");
const QByteArray startupKey = QByteArrayLiteral("startup-id");

QString plainOrNothing(const QByteArray& value)
{
    return ActivationTokens::isPlainToken(value) ? QString::fromLatin1(value) : QString();
}

} // namespace

bool ActivationTokens::isPlainToken(const QByteArray& value)
{
    return !value.isEmpty() && value.size() <= maxTokenBytes
        && std::all_of(value.cbegin(), value.cend(), [](char c) { return c > ' ' && c < '\x7f'; });
}

ActivationTokens ActivationTokens::fromEnvironment(const QProcessEnvironment& environment)
{
    return {plainOrNothing(environment.value(QStringLiteral("XDG_ACTIVATION_TOKEN")).toLocal8Bit()),
            plainOrNothing(environment.value(QStringLiteral("DESKTOP_STARTUP_ID")).toLocal8Bit())};
}

QByteArray ActivationTokens::request() const
{
    QByteArray line = showWord;
    if (!xdgActivationToken.isEmpty())
        line += ' ' + xdgKey + '=' + xdgActivationToken.toLatin1();
    if (!startupId.isEmpty())
        line += ' ' + startupKey + '=' + startupId.toLatin1();
    return line + '\n';
}

std::optional<ActivationTokens> ActivationTokens::fromRequest(const QByteArray& line)
{
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    const QList<QByteArray> words = text.split(' ');
    if (words.first() != showWord)
        return std::nullopt;
    ActivationTokens tokens;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QByteArray& word = words[i];
        const qsizetype equals = word.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = word.left(equals);
        const QString value = plainOrNothing(word.mid(equals + 1));
        if (key == xdgKey)
            tokens.xdgActivationToken = value;
        else if (key == startupKey)
            tokens.startupId = value;
    }
    return tokens;
}
