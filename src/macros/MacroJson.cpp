#include "macros/MacroJson.h"

#include <QJsonArray>

#include <cstdint>
#include <limits>

// Returns the error of a failed read from the enclosing reader, else binds its value.
#define MACRO_JSON_TRY(var, expr)                 \
    auto var##Result = (expr);                    \
    if (!var##Result)                             \
        return var##Result.error();               \
    auto var = std::move(var##Result).value()

namespace {

QStringList child(const QStringList& path, const QString& key)
{
    QStringList result = path;
    result.append(key);
    return result;
}

QString jsonTypeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

MacroJsonError typeMismatch(const QStringList& path, const QString& expected, const QJsonValue& found)
{
    return {MacroJsonError::Kind::typeMismatch, path,
            QStringLiteral("expected %1 but found %2").arg(expected, jsonTypeName(found))};
}

MacroJsonError corrupted(const QStringList& path, const QString& description)
{
    return {MacroJsonError::Kind::dataCorrupted, path, description};
}

MacroJsonResult<QJsonObject> asObject(const QJsonValue& json, const QStringList& path)
{
    if (!json.isObject())
        return typeMismatch(path, QStringLiteral("an object"), json);
    return json.toObject();
}

// A present key: absent, or null where the key is optional, gives none.
std::optional<QJsonValue> optionalValue(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return value;
}

MacroJsonResult<QJsonValue> requiredValue(const QJsonObject& object, const QString& key, const QStringList& path)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return MacroJsonError{MacroJsonError::Kind::keyNotFound, child(path, key),
                              QStringLiteral("no value for the key \"%1\"").arg(key)};
    if (value.isNull())
        return MacroJsonError{MacroJsonError::Kind::valueNotFound, child(path, key),
                              QStringLiteral("the key \"%1\" holds null").arg(key)};
    return value;
}

MacroJsonResult<QString> stringValue(const QJsonValue& value, const QStringList& path)
{
    if (!value.isString())
        return typeMismatch(path, QStringLiteral("a string"), value);
    return value.toString();
}

MacroJsonResult<QString> requiredString(const QJsonObject& object, const QString& key, const QStringList& path)
{
    MACRO_JSON_TRY(value, requiredValue(object, key, path));
    return stringValue(value, child(path, key));
}

MacroJsonResult<std::optional<QString>> optionalString(const QJsonObject& object, const QString& key,
                                                       const QStringList& path)
{
    const auto value = optionalValue(object, key);
    if (!value)
        return std::optional<QString>();
    MACRO_JSON_TRY(text, stringValue(*value, child(path, key)));
    return std::optional<QString>(std::move(text));
}

MacroJsonResult<QString> stringOrEmpty(const QJsonObject& object, const QString& key, const QStringList& path)
{
    MACRO_JSON_TRY(text, optionalString(object, key, path));
    return text.value_or(QString());
}

MacroJsonResult<bool> boolOrFalse(const QJsonObject& object, const QString& key, const QStringList& path)
{
    const auto value = optionalValue(object, key);
    if (!value)
        return false;
    if (!value->isBool())
        return typeMismatch(child(path, key), QStringLiteral("a boolean"), *value);
    return value->toBool();
}

// A JSON number that is a whole number within [low, high].
MacroJsonResult<std::int64_t> wholeNumber(const QJsonValue& value, std::int64_t low, std::int64_t high,
                                          const QStringList& path)
{
    if (!value.isDouble())
        return typeMismatch(path, QStringLiteral("a number"), value);
    // toInteger gives its fallback for anything but a whole qint64: two fallbacks tell.
    const qint64 number = value.toInteger(0);
    if (number != value.toInteger(1) || number < low || number > high)
        return corrupted(path, QStringLiteral("the number %1 is not a whole number from %2 to %3")
                                   .arg(QString::number(value.toDouble(), 'g', 17), QString::number(low),
                                        QString::number(high)));
    return std::int64_t(number);
}

MacroJsonResult<std::uint16_t> requiredUsage(const QJsonObject& object, const QStringList& path)
{
    MACRO_JSON_TRY(value, requiredValue(object, QStringLiteral("usage"), path));
    MACRO_JSON_TRY(number, wholeNumber(value, 0, 0xFFFF, child(path, QStringLiteral("usage"))));
    return static_cast<std::uint16_t>(number);
}

MacroJsonResult<HIDModifiers> modifiersValue(const QJsonValue& value, const QStringList& path)
{
    MACRO_JSON_TRY(number, wholeNumber(value, 0, 0xFF, path));
    return HIDModifiers{static_cast<std::uint8_t>(number)};
}

template <class T, class Parse>
MacroJsonResult<std::optional<T>> optionalEnum(const QJsonObject& object, const QString& key, const QStringList& path,
                                               const QString& typeName, Parse parse)
{
    MACRO_JSON_TRY(text, optionalString(object, key, path));
    if (!text)
        return std::optional<T>();
    const std::optional<T> parsed = parse(*text);
    if (!parsed)
        return corrupted(child(path, key),
                         QStringLiteral("\"%1\" is not a valid %2").arg(*text, typeName));
    return parsed;
}

MacroJsonResult<std::optional<ScreenshotOptions::Mode>> optionalMode(const QJsonObject& object, const QStringList& path)
{
    return optionalEnum<ScreenshotOptions::Mode>(object, QStringLiteral("mode"), path, QStringLiteral("screenshot mode"),
                                                 &ScreenshotOptions::modeFromRawValue);
}

MacroJsonResult<std::optional<ScreenshotOptions::Destination>> optionalDestination(const QJsonObject& object,
                                                                                   const QStringList& path)
{
    return optionalEnum<ScreenshotOptions::Destination>(object, QStringLiteral("destination"), path,
                                                        QStringLiteral("screenshot destination"),
                                                        &ScreenshotOptions::destinationFromRawValue);
}

MacroJsonResult<QUuid> uuidValue(const QJsonValue& value, const QStringList& path)
{
    MACRO_JSON_TRY(text, stringValue(value, path));
    const auto id = uuidFromText(text);
    if (!id)
        return corrupted(path, QStringLiteral("\"%1\" is not a UUID").arg(text));
    return *id;
}

template <class T, class Decode>
MacroJsonResult<QList<T>> arrayOf(const QJsonValue& value, const QStringList& path, Decode decode)
{
    if (!value.isArray())
        return typeMismatch(path, QStringLiteral("an array"), value);
    const QJsonArray array = value.toArray();
    QList<T> items;
    items.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        MACRO_JSON_TRY(item, decode(array.at(i), child(path, QString::number(i))));
        items.append(std::move(item));
    }
    return items;
}

} // namespace

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (hyphenPlace ? c != u'-' : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

MacroJsonResult<MacroAction> decodeMacroAction(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    MACRO_JSON_TRY(kind, requiredString(object, QStringLiteral("kind"), path));

    if (kind == u"unassigned")
        return MacroAction::unassigned();
    if (kind == u"keyboard" || kind == u"keystroke") {
        MACRO_JSON_TRY(usage, requiredUsage(object, path));
        HIDModifiers modifiers;
        if (const auto value = optionalValue(object, QStringLiteral("modifiers"))) {
            MACRO_JSON_TRY(read, modifiersValue(*value, child(path, QStringLiteral("modifiers"))));
            modifiers = read;
        }
        return MacroAction::keystroke({usage, modifiers});
    }
    if (kind == u"consumer" || kind == u"media") {
        MACRO_JSON_TRY(usage, requiredUsage(object, path));
        return MacroAction::media(mediaKeyFromUsage(usage).value_or(MediaKey::volumeUp));
    }
    if (kind == u"openApp") {
        MACRO_JSON_TRY(bundleID, stringOrEmpty(object, QStringLiteral("bundleID"), path));
        MACRO_JSON_TRY(name, stringOrEmpty(object, QStringLiteral("name"), path));
        return MacroAction::openApp({bundleID, name});
    }
    if (kind == u"openURL") {
        MACRO_JSON_TRY(url, stringOrEmpty(object, QStringLiteral("url"), path));
        return MacroAction::openURL(url);
    }
    if (kind == u"runShortcut") {
        MACRO_JSON_TRY(shortcut, stringOrEmpty(object, QStringLiteral("shortcut"), path));
        return MacroAction::runShortcut(shortcut);
    }
    if (kind == u"typeText") {
        MACRO_JSON_TRY(text, stringOrEmpty(object, QStringLiteral("text"), path));
        return MacroAction::typeText(text);
    }
    if (kind == u"screenshot") {
        MACRO_JSON_TRY(mode, optionalMode(object, path));
        MACRO_JSON_TRY(destination, optionalDestination(object, path));
        return MacroAction::screenshot({mode.value_or(ScreenshotOptions::Mode::selection),
                                        destination.value_or(ScreenshotOptions::Destination::file)});
    }
    if (kind == u"showScreen") {
        MACRO_JSON_TRY(screen, stringOrEmpty(object, QStringLiteral("screen"), path));
        return MacroAction::showScreen(screen);
    }
    return corrupted(child(path, QStringLiteral("kind")), QStringLiteral("Unknown action kind ") + kind);
}

MacroJsonResult<MacroButton> decodeMacroButton(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    MacroButton button;
    MACRO_JSON_TRY(idValue, requiredValue(object, QStringLiteral("id"), path));
    MACRO_JSON_TRY(id, uuidValue(idValue, child(path, QStringLiteral("id"))));
    button.id = id;
    MACRO_JSON_TRY(label, requiredString(object, QStringLiteral("label"), path));
    button.label = label;
    MACRO_JSON_TRY(actionValue, requiredValue(object, QStringLiteral("action"), path));
    MACRO_JSON_TRY(action, decodeMacroAction(actionValue, child(path, QStringLiteral("action"))));
    button.action = std::move(action);
    MACRO_JSON_TRY(icon, optionalEnum<DeviceIcon>(object, QStringLiteral("icon"), path, QStringLiteral("icon name"),
                                                  &DeviceIcon::fromRawValue));
    button.icon = icon;
    MACRO_JSON_TRY(emoji, optionalString(object, QStringLiteral("emoji"), path));
    button.emoji = emoji;
    MACRO_JSON_TRY(tint, optionalEnum<KeyTint>(object, QStringLiteral("tint"), path, QStringLiteral("tint"),
                                               &keyTintFromRawValue));
    button.tint = tint.value_or(KeyTint::neutral);
    MACRO_JSON_TRY(isToggle, boolOrFalse(object, QStringLiteral("isToggle"), path));
    button.isToggle = isToggle;
    MACRO_JSON_TRY(isActive, boolOrFalse(object, QStringLiteral("isActive"), path));
    button.isActive = isActive;
    return button;
}

MacroJsonResult<MacroProfile> decodeMacroProfile(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    MacroProfile profile;
    if (const auto idValue = optionalValue(object, QStringLiteral("id"))) {
        MACRO_JSON_TRY(id, uuidValue(*idValue, child(path, QStringLiteral("id"))));
        profile.id = id;
    } else {
        profile.id = QUuid::createUuid();
    }
    MACRO_JSON_TRY(versionValue, requiredValue(object, QStringLiteral("version"), path));
    MACRO_JSON_TRY(version, wholeNumber(versionValue, std::numeric_limits<std::int64_t>::min(),
                                        std::numeric_limits<std::int64_t>::max(),
                                        child(path, QStringLiteral("version"))));
    profile.version = version;
    MACRO_JSON_TRY(name, requiredString(object, QStringLiteral("name"), path));
    profile.name = name;
    MACRO_JSON_TRY(buttonsValue, requiredValue(object, QStringLiteral("buttons"), path));
    MACRO_JSON_TRY(buttons, arrayOf<MacroButton>(buttonsValue, child(path, QStringLiteral("buttons")),
                                                 [](const QJsonValue& v, const QStringList& p) {
                                                     return decodeMacroButton(v, p);
                                                 }));
    profile.buttons = std::move(buttons);
    if (const auto appsValue = optionalValue(object, QStringLiteral("linkedApps"))) {
        MACRO_JSON_TRY(apps, arrayOf<AppTarget>(*appsValue, child(path, QStringLiteral("linkedApps")),
                                                [](const QJsonValue& v, const QStringList& p) {
                                                    return decodeAppTarget(v, p);
                                                }));
        profile.linkedApps = std::move(apps);
    }
    return profile;
}

MacroJsonResult<KeyChord> decodeKeyChord(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    MACRO_JSON_TRY(usage, requiredUsage(object, path));
    MACRO_JSON_TRY(modifiersJson, requiredValue(object, QStringLiteral("modifiers"), path));
    MACRO_JSON_TRY(modifiers, modifiersValue(modifiersJson, child(path, QStringLiteral("modifiers"))));
    return KeyChord{usage, modifiers};
}

MacroJsonResult<AppTarget> decodeAppTarget(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    MACRO_JSON_TRY(bundleID, requiredString(object, QStringLiteral("bundleID"), path));
    MACRO_JSON_TRY(name, requiredString(object, QStringLiteral("name"), path));
    return AppTarget{bundleID, name};
}

MacroJsonResult<ScreenshotOptions> decodeScreenshotOptions(const QJsonValue& json, const QStringList& path)
{
    MACRO_JSON_TRY(object, asObject(json, path));
    for (const QString& key : {QStringLiteral("mode"), QStringLiteral("destination")}) {
        if (const auto present = requiredValue(object, key, path); !present)
            return present.error();
    }
    MACRO_JSON_TRY(mode, optionalMode(object, path));
    MACRO_JSON_TRY(destination, optionalDestination(object, path));
    return ScreenshotOptions{*mode, *destination};
}

QJsonObject encodeMacroAction(const MacroAction& action)
{
    QJsonObject object{{QStringLiteral("kind"), MacroAction::kindRawValue(action.kind())}};
    if (const auto* chord = action.as<KeyChord>()) {
        object.insert(QStringLiteral("usage"), chord->usage);
        object.insert(QStringLiteral("modifiers"), chord->modifiers.rawValue);
    } else if (const auto* key = action.as<MediaKey>()) {
        object.insert(QStringLiteral("usage"), mediaKeyUsage(*key));
    } else if (const auto* app = action.as<AppTarget>()) {
        object.insert(QStringLiteral("bundleID"), app->bundleID);
        object.insert(QStringLiteral("name"), app->name);
    } else if (const auto* open = action.as<MacroAction::OpenURL>()) {
        object.insert(QStringLiteral("url"), open->url);
    } else if (const auto* shortcut = action.as<MacroAction::RunShortcut>()) {
        object.insert(QStringLiteral("shortcut"), shortcut->name);
    } else if (const auto* type = action.as<MacroAction::TypeText>()) {
        object.insert(QStringLiteral("text"), type->text);
    } else if (const auto* options = action.as<ScreenshotOptions>()) {
        object.insert(QStringLiteral("mode"), ScreenshotOptions::rawValue(options->mode));
        object.insert(QStringLiteral("destination"), ScreenshotOptions::rawValue(options->destination));
    } else if (const auto* show = action.as<MacroAction::ShowScreen>()) {
        object.insert(QStringLiteral("screen"), show->screen);
    }
    return object;
}

QJsonObject encodeMacroButton(const MacroButton& button)
{
    QJsonObject object{
        {QStringLiteral("id"), uuidText(button.id)},
        {QStringLiteral("label"), button.label},
        {QStringLiteral("action"), encodeMacroAction(button.action)},
        {QStringLiteral("tint"), keyTintRawValue(button.tint)},
        {QStringLiteral("isToggle"), button.isToggle},
        {QStringLiteral("isActive"), button.isActive},
    };
    if (button.icon)
        object.insert(QStringLiteral("icon"), button.icon->rawValue());
    if (button.emoji)
        object.insert(QStringLiteral("emoji"), *button.emoji);
    return object;
}

QJsonObject encodeMacroProfile(const MacroProfile& profile)
{
    QJsonArray buttons;
    for (const MacroButton& button : profile.buttons)
        buttons.append(encodeMacroButton(button));
    QJsonArray apps;
    for (const AppTarget& app : profile.linkedApps)
        apps.append(encodeAppTarget(app));
    return {
        {QStringLiteral("id"), uuidText(profile.id)},
        {QStringLiteral("version"), qint64(profile.version)},
        {QStringLiteral("name"), profile.name},
        {QStringLiteral("buttons"), buttons},
        {QStringLiteral("linkedApps"), apps},
    };
}

QJsonObject encodeKeyChord(const KeyChord& chord)
{
    return {{QStringLiteral("usage"), chord.usage}, {QStringLiteral("modifiers"), chord.modifiers.rawValue}};
}

QJsonObject encodeAppTarget(const AppTarget& app)
{
    return {{QStringLiteral("bundleID"), app.bundleID}, {QStringLiteral("name"), app.name}};
}

QJsonObject encodeScreenshotOptions(const ScreenshotOptions& options)
{
    return {{QStringLiteral("mode"), ScreenshotOptions::rawValue(options.mode)},
            {QStringLiteral("destination"), ScreenshotOptions::rawValue(options.destination)}};
}
