#include "macros/MacroJson.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QJsonObject json(const char* text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

MacroAction action(const char* text)
{
    const auto result = decodeMacroAction(json(text));
    EXPECT_TRUE(result.ok()) << text << " " << (result.ok() ? "" : qPrintable(result.error().text()));
    return result.ok() ? result.value() : MacroAction{};
}

MacroJsonError actionError(const char* text)
{
    const auto result = decodeMacroAction(json(text));
    EXPECT_FALSE(result.ok()) << text;
    return result.ok() ? MacroJsonError{} : result.error();
}

QStringList keysOf(const QJsonObject& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

} // namespace

TEST(MacroJson, ActionAliasesReadAndWriteCanonically)
{
    const MacroAction keyboard = action(R"({"kind": "keyboard", "usage": 4})");
    EXPECT_EQ(keyboard, MacroAction::keystroke({4, {}}));
    EXPECT_EQ(encodeMacroAction(keyboard), json(R"({"kind": "keystroke", "usage": 4, "modifiers": 0})"));

    const MacroAction consumer = action(R"({"kind": "consumer", "usage": 205})");
    EXPECT_EQ(consumer, MacroAction::media(MediaKey::playPause));
    EXPECT_EQ(encodeMacroAction(consumer), json(R"({"kind": "media", "usage": 205})"));

    const MacroAction unknownMedia = action(R"({"kind": "media", "usage": 0})");
    EXPECT_EQ(encodeMacroAction(unknownMedia), json(R"({"kind": "media", "usage": 233})"));
}

TEST(MacroJson, ActionDefaultsForAbsentOrNullKeys)
{
    EXPECT_EQ(action(R"({"kind": "openURL"})"), MacroAction::openURL(QString()));
    EXPECT_EQ(encodeMacroAction(MacroAction::openURL(QString())), json(R"({"kind": "openURL", "url": ""})"));
    EXPECT_EQ(action(R"({"kind": "openApp", "name": null})"), MacroAction::openApp({}));
    EXPECT_EQ(action(R"({"kind": "screenshot", "destination": "clipboard"})"),
              MacroAction::screenshot({ScreenshotOptions::Mode::selection, ScreenshotOptions::Destination::clipboard}));
    EXPECT_EQ(action(R"({"kind": "keystroke", "usage": 4, "modifiers": null})"), MacroAction::keystroke({4, {}}));
    // Keys of another kind are read past and not written back.
    const MacroAction withForeignKey = action(R"({"kind": "openURL", "url": "https://a.b", "usage": 4})");
    EXPECT_EQ(keysOf(encodeMacroAction(withForeignKey)), QStringList({"kind", "url"}));
}

TEST(MacroJson, WriterEmitsExactlyTheKeysOfEachKind)
{
    const QList<std::pair<MacroAction, QStringList>> cases = {
        {MacroAction::unassigned(), {"kind"}},
        {MacroAction::keystroke({4, {}}), {"kind", "modifiers", "usage"}},
        {MacroAction::media(MediaKey::mute), {"kind", "usage"}},
        {MacroAction::openApp({}), {"bundleID", "kind", "name"}},
        {MacroAction::openURL({}), {"kind", "url"}},
        {MacroAction::runShortcut({}), {"kind", "shortcut"}},
        {MacroAction::typeText({}), {"kind", "text"}},
        {MacroAction::screenshot({}), {"destination", "kind", "mode"}},
        {MacroAction::showScreen({}), {"kind", "screen"}},
    };
    for (const auto& [value, keys] : cases) {
        const QJsonObject written = encodeMacroAction(value);
        EXPECT_EQ(keysOf(written), keys) << qPrintable(MacroAction::kindRawValue(value.kind()));
        const auto read = decodeMacroAction(written);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(read.value(), value);
    }
}

TEST(MacroJson, ActionFailures)
{
    const MacroJsonError unknown = actionError(R"({"kind": "Keystroke"})");
    EXPECT_EQ(unknown.kind, MacroJsonError::Kind::dataCorrupted);
    EXPECT_EQ(unknown.description, QStringLiteral("Unknown action kind Keystroke"));
    EXPECT_EQ(unknown.lastKey(), QStringLiteral("kind"));

    const MacroJsonError noUsage = actionError(R"({"kind": "keystroke"})");
    EXPECT_EQ(noUsage.kind, MacroJsonError::Kind::keyNotFound);
    EXPECT_EQ(noUsage.lastKey(), QStringLiteral("usage"));

    EXPECT_EQ(actionError(R"({"usage": 4})").kind, MacroJsonError::Kind::keyNotFound);
    EXPECT_EQ(actionError(R"({"kind": 3})").kind, MacroJsonError::Kind::typeMismatch);
    const MacroJsonError wrongType = actionError(R"({"kind": "openURL", "url": 5})");
    EXPECT_EQ(wrongType.kind, MacroJsonError::Kind::typeMismatch);
    EXPECT_EQ(wrongType.lastKey(), QStringLiteral("url"));
    EXPECT_EQ(actionError(R"({"kind": "screenshot", "mode": "area"})").kind, MacroJsonError::Kind::dataCorrupted);
    for (const char* bad : {R"({"kind": "keystroke", "usage": 65536})", R"({"kind": "keystroke", "usage": -1})",
                            R"({"kind": "keystroke", "usage": 4.5})", R"({"kind": "keystroke", "usage": "4"})",
                            R"({"kind": "keystroke", "usage": 4, "modifiers": 256})",
                            R"({"kind": "media", "usage": 1e300})"})
        actionError(bad);
    EXPECT_EQ(action(R"({"kind": "keystroke", "usage": 65535, "modifiers": 255})"),
              MacroAction::keystroke({65535, HIDModifiers{255}}));

    const auto notAnObject = decodeMacroAction(QJsonValue(QStringLiteral("keystroke")));
    ASSERT_FALSE(notAnObject.ok());
    EXPECT_EQ(notAnObject.error().kind, MacroJsonError::Kind::typeMismatch);
}

TEST(MacroJson, ButtonOptionalKeys)
{
    const auto read = decodeMacroButton(json(
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "label": "X", "action": {"kind": "unassigned"}})"));
    ASSERT_TRUE(read.ok());
    const MacroButton& button = read.value();
    EXPECT_EQ(button.id, QUuid(QStringLiteral("6ba7b810-9dad-11d1-80b4-00c04fd430c8")));
    EXPECT_FALSE(button.icon);
    EXPECT_FALSE(button.emoji);
    EXPECT_EQ(button.tint, KeyTint::neutral);
    EXPECT_FALSE(button.isToggle || button.isActive);
    const QJsonObject written = encodeMacroButton(button);
    EXPECT_EQ(keysOf(written), QStringList({"action", "id", "isActive", "isToggle", "label", "tint"}));
    EXPECT_EQ(written.value("id").toString(), QStringLiteral("6BA7B810-9DAD-11D1-80B4-00C04FD430C8"));

    MacroButton full = button;
    full.icon = DeviceIcon::bell;
    full.emoji = QString();
    full.tint = KeyTint::amber;
    const auto roundTrip = decodeMacroButton(encodeMacroButton(full));
    ASSERT_TRUE(roundTrip.ok());
    EXPECT_EQ(roundTrip.value(), full);
}

TEST(MacroJson, ButtonFailures)
{
    const char* cases[] = {
        R"({"label": "X", "action": {"kind": "unassigned"}})",
        R"({"id": "not-a-uuid", "label": "X", "action": {"kind": "unassigned"}})",
        R"({"id": "{6ba7b810-9dad-11d1-80b4-00c04fd430c8}", "label": "X", "action": {"kind": "unassigned"}})",
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "action": {"kind": "unassigned"}})",
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "label": "X", "action": {"kind": "unassigned"}, "tint": "pink"})",
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "label": "X", "action": {"kind": "unassigned"}, "icon": "Bell"})",
        R"({"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "label": "X", "action": {"kind": "unassigned"}, "isToggle": "true"})",
    };
    for (const char* text : cases)
        EXPECT_FALSE(decodeMacroButton(json(text)).ok()) << text;
}

TEST(MacroJson, ProfileReadingAndWriting)
{
    const char* withoutId = R"({"version": 1, "name": "P", "buttons": []})";
    const auto first = decodeMacroProfile(json(withoutId));
    const auto second = decodeMacroProfile(json(withoutId));
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_FALSE(first.value().id.isNull());
    EXPECT_NE(first.value().id, second.value().id);
    EXPECT_TRUE(first.value().linkedApps.isEmpty());
    EXPECT_EQ(encodeMacroProfile(first.value()).value("linkedApps"), QJsonArray());

    EXPECT_FALSE(decodeMacroProfile(json(R"({"name": "P", "buttons": []})")).ok());
    EXPECT_FALSE(decodeMacroProfile(json(R"({"version": 1.5, "name": "P", "buttons": []})")).ok());
    EXPECT_FALSE(decodeMacroProfile(json(R"({"version": 1, "name": "P", "buttons": [], "linkedApps": [{"name": "x"}]})")).ok());

    // One bad key fails the whole profile, and the error says where.
    const auto bad = decodeMacroProfile(json(
        R"({"version": 1, "name": "P", "buttons": [{"id": "6ba7b810-9dad-11d1-80b4-00c04fd430c8", "label": "X", "action": {"kind": "nope"}}]})"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().codingPath, QStringList({"buttons", "0", "action", "kind"}));

    MacroProfile profile = MacroProfile::defaultProfile();
    profile.version = 9007199254740993; // beyond a double's exact range
    profile.buttons.append(MacroButton{}); // thirteen keys read back as thirteen
    profile.linkedApps = {{QStringLiteral("org.gnome.Terminal"), QStringLiteral("Terminal")}};
    const QByteArray text = QJsonDocument(encodeMacroProfile(profile)).toJson();
    const auto roundTrip = decodeMacroProfile(QJsonDocument::fromJson(text).object());
    ASSERT_TRUE(roundTrip.ok());
    EXPECT_EQ(roundTrip.value(), profile);
}

TEST(MacroJson, StandaloneValues)
{
    EXPECT_EQ(decodeKeyChord(json(R"({"usage": 4, "modifiers": 2})")).value(), (KeyChord{4, HIDModifiers{2}}));
    EXPECT_FALSE(decodeKeyChord(json(R"({"usage": 4})")).ok());
    EXPECT_FALSE(decodeAppTarget(json(R"({"bundleID": "a"})")).ok());
    EXPECT_FALSE(decodeScreenshotOptions(json(R"({"mode": "window"})")).ok());
    const ScreenshotOptions options{ScreenshotOptions::Mode::window, ScreenshotOptions::Destination::clipboard};
    EXPECT_EQ(decodeScreenshotOptions(encodeScreenshotOptions(options)).value(), options);
    EXPECT_EQ(uuidFromText(QStringLiteral("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
              uuidFromText(QStringLiteral("6BA7B810-9DAD-11D1-80B4-00C04FD430C8")));
    EXPECT_FALSE(uuidFromText(QStringLiteral("6ba7b8109dad11d180b400c04fd430c8")));
}
