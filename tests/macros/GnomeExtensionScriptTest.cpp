// Tarv's GNOME Shell extension, both variants as built, run in a JavaScript engine against a
// stand-in of the GNOME Shell objects it uses: the D-Bus export of GJS, GLib variants, the
// display with its focus and window list, and the Shell's window tracker. The variant for
// GNOME Shell 43 and 44 is loaded through `imports`, the one for 45 and later as an ES module
// whose default export is the extension's class.

#include "macros/GnomeExtensionSetup.h"

#include "support/DesktopTestEnv.h"

#include <QDir>
#include <QFile>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

const char* const shellStandIn = R"JS(
var __errors = [];
var __signals = [];
var __exported = null;
function __check(ok, what) { if (!ok) __errors.push(what); }

var GLib = { Variant: function (signature, value) { this.signature = signature; this.value = value; } };
// What GJS packs for a{sv}: an object whose every value is a variant.
function __dict(object, what) {
    var out = {};
    __check(object !== null && typeof object === 'object' && !Array.isArray(object), what + ' is no dictionary');
    for (var key in object) {
        var value = object[key];
        __check(value instanceof GLib.Variant, what + '.' + key + ' is no variant');
        if (value instanceof GLib.Variant) {
            __check({ s: 'string', i: 'number', b: 'boolean' }[value.signature] === typeof value.value,
                    what + '.' + key + ' does not hold a ' + value.signature);
            out[key] = value.value;
        }
    }
    return out;
}
var Gio = {
    DBus: { session: { name: 'session bus' } },
    DBusExportedObject: {
        wrapJSObject: function (xml, implementation) {
            var object = {
                xml: xml,
                implementation: implementation,
                export: function (bus, path) {
                    __check(bus === Gio.DBus.session, 'exported elsewhere than on the session bus');
                    __exported = { path: path, object: object };
                },
                unexport: function () { __exported = null; },
                emit_signal: function (name, variant) {
                    __check(__exported && __exported.object === object, name + ' emitted while not exported');
                    __check(variant.signature === '(a{sv})', name + ' emitted as ' + variant.signature);
                    __signals.push({ name: name, window: __dict(variant.value[0], name) });
                },
            };
            return object;
        },
    },
};
var Meta = { TabList: { NORMAL: 0, DOCKS: 1, GROUP: 2, NORMAL_ALL: 3 } };
function __App(id, windowBacked) {
    this.get_id = function () { return id; };
    this.is_window_backed = function () { return windowBacked; };
}
var Shell = { WindowTracker: { get_default: function () {
    return { get_window_app: function (window) { return window.__app; } };
} } };
var __handlers = {};
var __nextHandler = 1;
var __windows = [];
var global = { display: {
    focus_window: null,
    connect: function (signal, handler) { __handlers[__nextHandler] = { signal: signal, handler: handler }; return __nextHandler++; },
    disconnect: function (id) { __check(id in __handlers, 'disconnected ' + id + ', never connected'); delete __handlers[id]; },
    get_tab_list: function (type, workspace) {
        __check(type === Meta.TabList.NORMAL && workspace === null, 'asked for windows of another kind or workspace');
        return __windows.slice();
    },
} };
function __open(facts) {
    var window = {
        __app: facts.app === undefined ? null : new __App(facts.app, !!facts.windowBacked),
        get_wm_class: function () { return facts.wmClass === undefined ? null : facts.wmClass; },
        get_wm_class_instance: function () { return facts.instance === undefined ? null : facts.instance; },
        get_gtk_application_id: function () { return facts.gtk === undefined ? null : facts.gtk; },
        get_sandboxed_app_id: function () { return facts.sandbox === undefined ? null : facts.sandbox; },
        get_pid: function () { return facts.pid === undefined ? 0 : facts.pid; },
        is_skip_taskbar: function () { return !!facts.skipTaskbar; },
    };
    __windows.unshift(window);
    return window;
}
function __focus(window) {
    global.display.focus_window = window;
    for (var id in __handlers) {
        if (__handlers[id].signal === 'notify::focus-window')
            __handlers[id].handler();
    }
}
function __list() {
    var windows = __exported.object.implementation.ListWindows();
    __check(Array.isArray(windows), 'ListWindows gave no array');
    return windows.map(function (window, i) { return __dict(window, 'window ' + i); });
}
)JS";

enum class Variant { Legacy, Modules };

QString variantFolder(Variant variant)
{
    return QStringLiteral(TARV_GNOME_EXTENSION_DIR) + (variant == Variant::Legacy ? QStringLiteral("/legacy") : QStringLiteral("/modules"));
}

QJsonObject metadataOf(Variant variant)
{
    QFile file(variantFolder(variant) + QStringLiteral("/metadata.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

class GnomeExtensionScriptTest : public ::testing::TestWithParam<Variant> {
protected:
    void SetUp() override
    {
        testGuiApp();
        engine = std::make_unique<QJSEngine>();
        engine->installExtensions(QJSEngine::ConsoleExtension);
        ASSERT_FALSE(run(QString::fromUtf8(shellStandIn)).isError());
        const QString script = variantFolder(GetParam()) + QStringLiteral("/extension.js");
        if (GetParam() == Variant::Legacy) {
            QFile file(script);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << script.toStdString();
            ASSERT_FALSE(run(QStringLiteral("var imports = { gi: { Gio: Gio, GLib: GLib, Meta: Meta, Shell: Shell } };"))
                             .isError());
            const QJSValue loaded = engine->evaluate(QString::fromUtf8(file.readAll()), script);
            ASSERT_FALSE(loaded.isError()) << loaded.toString().toStdString();
            extension = run(QStringLiteral("init({})"));
        } else {
            const QJSValue global = engine->globalObject();
            for (const char* library : {"Gio", "GLib", "Meta", "Shell"})
                engine->registerModule(QStringLiteral("gi://") + QLatin1String(library), global.property(QLatin1String(library)));
            QJSValue shellModule = engine->newObject();
            shellModule.setProperty(QStringLiteral("Extension"),
                                    run(QStringLiteral("(class { constructor(metadata) { this.metadata = metadata; } })")));
            engine->registerModule(QStringLiteral("resource:///org/gnome/shell/extensions/extension.js"), shellModule);
            const QJSValue module = engine->importModule(script);
            ASSERT_FALSE(module.isError()) << module.toString().toStdString();
            const QJSValue extensionClass = module.property(QStringLiteral("default"));
            ASSERT_TRUE(extensionClass.isCallable()) << "no default export";
            extension = extensionClass.callAsConstructor({run(QStringLiteral("({})"))});
        }
        ASSERT_TRUE(extension.isObject()) << extension.toString().toStdString();
    }

    QJSValue run(const QString& code)
    {
        const QJSValue result = engine->evaluate(code);
        EXPECT_FALSE(result.isError()) << code.toStdString() << ": " << result.toString().toStdString();
        return result;
    }
    QJsonDocument json(const QString& expression)
    {
        return QJsonDocument::fromJson(run(QStringLiteral("JSON.stringify(%1)").arg(expression)).toString().toUtf8());
    }
    void call(const char* method)
    {
        const QJSValue result = extension.property(QLatin1String(method)).callWithInstance(extension);
        EXPECT_FALSE(result.isError()) << method << ": " << result.toString().toStdString();
    }
    QStringList errors() { return run(QStringLiteral("__errors")).toVariant().toStringList(); }

    std::unique_ptr<QJSEngine> engine;
    QJSValue extension;
};

QJsonDocument parsed(const char* json) { return QJsonDocument::fromJson(json); }

}  // namespace

TEST_P(GnomeExtensionScriptTest, FocusChangesAndTheOpenWindowsAreReportedAndNothingElseIsOffered)
{
    run(QStringLiteral("var mail = __open({ app: 'org.example.Mail.desktop', wmClass: 'org.example.Mail', "
                       "instance: 'mail', gtk: 'org.example.Mail', pid: 4000 });"
                       "__focus(mail);"));
    call("enable");
    // Switched on, it tells the window in front at once.
    EXPECT_EQ(run(QStringLiteral("__exported.path")).toString(), QStringLiteral("/org/tarv/WindowReports"));
    EXPECT_EQ(json(QStringLiteral("__signals")),
              parsed(R"([{"name": "FocusChanged", "window": {"app": "org.example.Mail.desktop",
                  "wmClass": "org.example.Mail", "wmClassInstance": "mail", "gtkApplicationId": "org.example.Mail",
                  "sandboxedAppId": "", "pid": 4000, "focused": true}}])"));
    // The interface holds the one method and the one signal, nothing that acts on windows.
    const QString xml = run(QStringLiteral("__exported.object.xml")).toString();
    EXPECT_EQ(xml.count(QStringLiteral("<method ")), 1);
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<method name="ListWindows">)")));
    EXPECT_EQ(xml.count(QStringLiteral("<signal ")), 1);
    EXPECT_TRUE(xml.contains(QStringLiteral(R"(<signal name="FocusChanged">)")));
    EXPECT_FALSE(xml.contains(QStringLiteral("<property")));

    // A window the Shell ties to no entry (a Flatpak app here), a panel, nothing in front.
    run(QStringLiteral("__signals = [];"
                       "var flatpak = __open({ app: 'window:12', windowBacked: true, wmClass: 'Editor', "
                       "sandbox: 'org.example.Editor', pid: 4001 });"
                       "__open({ app: 'org.example.Panel.desktop', wmClass: 'panel', skipTaskbar: true });"
                       "__focus(flatpak); __focus(null);"));
    EXPECT_EQ(json(QStringLiteral("__signals")),
              parsed(R"([{"name": "FocusChanged", "window": {"app": "", "wmClass": "Editor", "wmClassInstance": "",
                  "gtkApplicationId": "", "sandboxedAppId": "org.example.Editor", "pid": 4001, "focused": true}},
                  {"name": "FocusChanged", "window": {}}])"));
    run(QStringLiteral("__focus(mail);"));
    EXPECT_EQ(json(QStringLiteral("__list().map(function (w) { return [w.wmClass, w.focused]; })")),
              parsed(R"([["Editor", false], ["org.example.Mail", true]])"));

    // Switched off, it leaves nothing connected or exported behind.
    call("disable");
    run(QStringLiteral("__signals = []; __focus(flatpak);"));
    EXPECT_EQ(json(QStringLiteral("[__exported, __signals, Object.keys(__handlers)]")), parsed("[null, [], []]"));
    // And it can be switched on again, as GNOME Shell does after the lock screen.
    call("enable");
    EXPECT_EQ(run(QStringLiteral("__signals.length")).toInt(), 1);
    EXPECT_EQ(errors(), QStringList());
}

TEST_P(GnomeExtensionScriptTest, ItsMetadataNamesTarvsExtensionAndTheShellsItRunsOn)
{
    const QJsonObject metadata = metadataOf(GetParam());
    EXPECT_EQ(metadata.value(QLatin1String("uuid")).toString(), GnomeExtensionSetup::uuid());
    EXPECT_EQ(metadata.value(QLatin1String("version")).toInt(), GnomeExtensionSetup::version());
    QStringList versions;
    for (const QJsonValue& version : metadata.value(QLatin1String("shell-version")).toArray())
        versions.append(version.toString());
    // Modules came with 45: each variant runs on one side of it only.
    ASSERT_FALSE(versions.isEmpty());
    for (const QString& version : versions)
        EXPECT_EQ(version.toInt() >= 45, GetParam() == Variant::Modules) << version.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Shell, GnomeExtensionScriptTest, ::testing::Values(Variant::Legacy, Variant::Modules),
                         [](const auto& info) { return info.param == Variant::Legacy ? "Before45" : "From45"; });
