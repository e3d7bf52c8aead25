// A screen button's "action" object: key and modifier names, and every problem text.

#include "screens/format/ScreenAction.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

std::variant<MacroAction, ScreenAction::Problem> decode(const char* json)
{
    return ScreenAction::decode(QJsonDocument::fromJson(json).object());
}

KeyChord chordOf(const char* json)
{
    const auto result = decode(json);
    const auto* action = std::get_if<MacroAction>(&result);
    if (!action || !action->as<KeyChord>()) {
        ADD_FAILURE() << json;
        return {};
    }
    return *action->as<KeyChord>();
}

QString problemOf(const char* json)
{
    const auto result = decode(json);
    const auto* problem = std::get_if<ScreenAction::Problem>(&result);
    return problem ? problem->message : QStringLiteral("<decoded>");
}

} // namespace

TEST(ScreenActionTest, KeyNamesAndModifiers)
{
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "Return", "modifiers": ["Cmd", "shift"]})"),
              (KeyChord{0x28, HIDModifiers{0x0A}}));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "F13"})"), (KeyChord{0x68, {}}));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "f5"})"), chordOf(R"({"kind": "keystroke", "key": "F5"})"));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "F1"})").usage, 0x3A);
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "f20"})").usage, 0x6F);
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "A"})"), (KeyChord{0x04, {}}));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "!", "modifiers": ["ctrl"]})"),
              (KeyChord{0x1E, HIDModifiers{0x03}}));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "key": "space", "modifiers": []})"), (KeyChord{0x2C, {}}));
    EXPECT_EQ(chordOf(R"({"kind": "keystroke", "usage": 4, "modifiers": 8})"), (KeyChord{0x04, HIDModifiers{0x08}}));
}

TEST(ScreenActionTest, KeyNameProblems)
{
    const QString list = QStringLiteral("delete, down, end, enter, escape, forwarddelete, home, left, pagedown, pageup, "
                                        "return, right, space, tab, up, f1\u2026f20");
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "key": "enterr"})"),
              QStringLiteral("\"enterr\" is not a key name; use a character, or one of ") + list);
    for (const char* key : {"f21", "f0", "f+5", "", "ab"})
        EXPECT_EQ(problemOf(QByteArray(R"({"kind": "keystroke", "key": ")" + QByteArray(key) + "\"}").constData()),
                  u'"' + QString::fromLatin1(key) + QStringLiteral("\" is not a key name; use a character, or one of ")
                      + list);
    // A character without a key chord is no key name either.
    EXPECT_TRUE(problemOf(R"({"kind": "keystroke", "key": "é"})").endsWith(list));
}

TEST(ScreenActionTest, ModifierProblems)
{
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "key": "a", "modifiers": ["shift", "Hyper"]})"),
              QStringLiteral("\"Hyper\" is not a modifier; use control, option, shift or command"));
    const QString listProblem =
        QStringLiteral("with \"key\", \"modifiers\" is a list of names such as [\"command\", \"shift\"]");
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "key": "a", "modifiers": "command"})"), listProblem);
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "key": "a", "modifiers": ["command", 1]})"), listProblem);
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "key": "a", "modifiers": null})"), listProblem);
}

TEST(ScreenActionTest, ReaderFailuresAsProblems)
{
    EXPECT_EQ(problemOf(R"({"kind": "keystroke"})"), QStringLiteral("is missing \"usage\""));
    EXPECT_EQ(problemOf(R"({"url": "https://x"})"), QStringLiteral("is missing \"kind\""));
    EXPECT_EQ(problemOf(R"({"kind": "openURL", "url": 5})"), QStringLiteral("\"url\" has the wrong type"));
    EXPECT_EQ(problemOf(R"({"kind": 5})"), QStringLiteral("\"kind\" has the wrong type"));
    EXPECT_EQ(problemOf(R"({"kind": "Keystroke"})"), QStringLiteral("Unknown action kind Keystroke"));
    // Other refusals of the reader come through in its own words.
    EXPECT_EQ(problemOf(R"({"kind": "keystroke", "usage": 70000})"),
              QStringLiteral("the number 70000 is not a whole number from 0 to 65535"));
    EXPECT_TRUE(problemOf(R"({"kind": "keystroke", "usage": null})").startsWith(QStringLiteral("could not be read: ")));
}

TEST(ScreenActionTest, OtherKindsPassThrough)
{
    const auto result = decode(R"({"kind": "openURL", "url": "https://example.com/{{q}}", "key": "x"})");
    ASSERT_TRUE(std::holds_alternative<MacroAction>(result));
    EXPECT_EQ(std::get<MacroAction>(result), MacroAction::openURL(QStringLiteral("https://example.com/{{q}}")));
}
