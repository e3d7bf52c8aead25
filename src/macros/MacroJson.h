#pragma once
// The JSON form of the macro model, shared by the profile library and screen files: tolerant
// reading (old kind names, defaults for absent keys) and complete, stable writing.

#include "macros/MacroJsonError.h"
#include "macros/MacroProfile.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QUuid>

// The UUID text form: 36 characters, upper-case, no braces.
QString uuidText(const QUuid& id);
// Reads a 36-character UUID text in either letter case; none for anything else.
std::optional<QUuid> uuidFromText(QStringView text);

// Every reader takes the coding path of the value so nested failures say where they are.
MacroJsonResult<MacroAction> decodeMacroAction(const QJsonValue& json, const QStringList& path = {});
MacroJsonResult<MacroButton> decodeMacroButton(const QJsonValue& json, const QStringList& path = {});
MacroJsonResult<MacroProfile> decodeMacroProfile(const QJsonValue& json, const QStringList& path = {});
MacroJsonResult<KeyChord> decodeKeyChord(const QJsonValue& json, const QStringList& path = {});
MacroJsonResult<AppTarget> decodeAppTarget(const QJsonValue& json, const QStringList& path = {});
MacroJsonResult<ScreenshotOptions> decodeScreenshotOptions(const QJsonValue& json, const QStringList& path = {});

QJsonObject encodeMacroAction(const MacroAction& action);
QJsonObject encodeMacroButton(const MacroButton& button);
QJsonObject encodeMacroProfile(const MacroProfile& profile);
QJsonObject encodeKeyChord(const KeyChord& chord);
QJsonObject encodeAppTarget(const AppTarget& app);
QJsonObject encodeScreenshotOptions(const ScreenshotOptions& options);
