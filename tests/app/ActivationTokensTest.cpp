// The launcher's tokens on their way from a second start to the running copy: what a launcher
// leaves in the environment is passed on whole when it can travel on one line, and dropped
// when it cannot; nothing in a token can add a token or end the request.

#include "app/ActivationTokens.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

QByteArray randomBytes(QRandomGenerator& random, int size, char lowest, char highest)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char(random.bounded(int(lowest), int(highest) + 1));
    return bytes;
}

} // namespace

TEST(ActivationTokensTest, EveryPlainTokenTravelsWholeAndAnythingElseIsDropped)
{
    QRandomGenerator random(75);
    for (int round = 0; round < 2000; ++round) {
        const int size = random.bounded(1, int(ActivationTokens::maxTokenBytes) + 1);
        // Printable ASCII, "=" and "/" included, as GNOME's and KWin's tokens hold them.
        const QByteArray xdg = randomBytes(random, size, '!', '~');
        const QByteArray startup = randomBytes(random, random.bounded(1, 40), '!', '~');
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QString::fromLatin1(xdg));
        environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QString::fromLatin1(startup));
        const ActivationTokens tokens = ActivationTokens::fromEnvironment(environment);
        ASSERT_EQ(tokens.xdgActivationToken.toLatin1(), xdg);
        ASSERT_EQ(tokens.startupId.toLatin1(), startup);
        const QByteArray line = tokens.request();
        ASSERT_EQ(line.count('\n'), 1);
        ASSERT_TRUE(line.endsWith('\n'));
        ASSERT_EQ(ActivationTokens::fromRequest(line), tokens) << line.toStdString();

        // A space, a control character or a byte beyond ASCII anywhere, or one byte too many:
        // no token at all, rather than part of one.
        QByteArray broken = xdg;
        broken.insert(random.bounded(broken.size() + 1), "\x01 \n\x7f\xc3"[random.bounded(5)]);
        environment.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"), QString::fromLatin1(broken));
        EXPECT_TRUE(ActivationTokens::fromEnvironment(environment).xdgActivationToken.isEmpty()) << broken.toStdString();
        ASSERT_EQ(ActivationTokens::fromEnvironment(environment).startupId.toLatin1(), startup);
    }
    QProcessEnvironment tooLong;
    tooLong.insert(QStringLiteral("XDG_ACTIVATION_TOKEN"),
                   QString(int(ActivationTokens::maxTokenBytes) + 1, u'a'));
    EXPECT_EQ(ActivationTokens::fromEnvironment(tooLong), ActivationTokens{});
    EXPECT_EQ(ActivationTokens{}.request(), QByteArray("show\n"));
}

TEST(ActivationTokensTest, ARequestLineIsReadStrictlyAndForgivesWhatItDoesNotKnow)
{
    EXPECT_EQ(ActivationTokens::fromRequest("show\n"), ActivationTokens{});
    EXPECT_EQ(ActivationTokens::fromRequest("show"), ActivationTokens{});
    for (const char* notShow : {"", "\n", "quit\n", "shows\n", "Show\n", " show\n"})
        EXPECT_FALSE(ActivationTokens::fromRequest(notShow).has_value()) << notShow;
    // A later Tarv may send more; this one takes what it knows.
    EXPECT_EQ(ActivationTokens::fromRequest("show colour=blue xdg-activation-token=a=b junk startup-id=\n"),
              (ActivationTokens{QStringLiteral("a=b"), QString()}));
}
