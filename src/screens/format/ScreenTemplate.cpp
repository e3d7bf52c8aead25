// The five sample screen files. They are meant to be read as examples of the format, so they
// keep the layout of a hand-written file; the commands are ones every Linux desktop has.

#include "screens/format/ScreenTemplate.h"

#include <QSet>

namespace {

const char systemJson[] = R"json({
  "title": "System",
  "sources": {
    "host":    { "shell": "hostname -s", "every": 3600 },
    "load":    { "shell": "cut -d' ' -f1 /proc/loadavg", "every": 5 },
    "memory":  { "shell": "free | awk '/^Mem:/ {printf \"%d%%\\n\", 100 - $7 * 100 / $2}'", "every": 10 },
    "battery": { "shell": "cat /sys/class/power_supply/BAT*/capacity 2>/dev/null | head -1 | awk '{print $1 \"%\"}'", "every": 60 },
    "disk":    { "shell": "df -H / | awk 'NR==2 {print $4}'", "every": 300 },
    "btc":     { "url": "https://api.coinbase.com/v2/prices/BTC-USD/spot", "field": "data.amount", "decimals": 0, "every": 60 }
  },
  "widgets": [
    { "type": "text", "x": 12,  "y": 34, "text": "System", "size": 18 },
    { "type": "text", "x": 268, "y": 37, "w": 200, "text": "{{host}}", "align": "right", "color": "text-mute" },

    { "type": "box",  "x": 8,   "y": 62,  "w": 148, "h": 96 },
    { "type": "text", "x": 20,  "y": 72,  "text": "LOAD", "color": "text-mute" },
    { "type": "text", "x": 20,  "y": 106, "w": 124, "text": "{{load}}", "size": 34, "align": "right" },

    { "type": "box",  "x": 166, "y": 62,  "w": 148, "h": 96 },
    { "type": "text", "x": 178, "y": 72,  "text": "MEMORY", "color": "text-mute" },
    { "type": "text", "x": 178, "y": 106, "w": 124, "text": "{{memory}}", "size": 34, "align": "right" },

    { "type": "box",  "x": 324, "y": 62,  "w": 148, "h": 96 },
    { "type": "text", "x": 336, "y": 72,  "text": "BATTERY", "color": "text-mute" },
    { "type": "text", "x": 336, "y": 106, "w": 124, "text": "{{battery}}", "size": 34, "align": "right", "color": "up" },

    { "type": "box",  "x": 8,   "y": 166, "w": 306, "h": 56 },
    { "type": "text", "x": 20,  "y": 186, "text": "BITCOIN", "color": "text-mute" },
    { "type": "text", "x": 20,  "y": 180, "w": 282, "text": "${{btc}}", "size": 24, "align": "right", "color": "accent" },

    { "type": "box",  "x": 324, "y": 166, "w": 148, "h": 56 },
    { "type": "text", "x": 336, "y": 186, "text": "DISK", "color": "text-mute" },
    { "type": "text", "x": 336, "y": 180, "w": 124, "text": "{{disk}}", "size": 24, "align": "right" },

    { "type": "button", "x": 8,   "y": 230, "w": 148, "h": 56, "label": "Lock", "icon": "power",
      "action": { "kind": "keystroke", "key": "l", "modifiers": ["command"] } },
    { "type": "button", "x": 166, "y": 230, "w": 148, "h": 56, "label": "Activity", "icon": "list",
      "action": { "kind": "openApp", "bundleID": "gnome-system-monitor", "name": "System Monitor" } },
    { "type": "button", "x": 324, "y": 230, "w": 148, "h": 56, "label": "Play/Pause", "icon": "play",
      "action": { "kind": "media", "usage": 205 } }
  ]
}
)json";

const char cardsJson[] = R"json({
  "title": "Cards",
  "sources": {
    "cpu":     { "shell": "top -bn1 | awk '/^%Cpu/ {print int($2 + $4)}'", "every": 10 },
    "memory":  { "shell": "free | awk '/^Mem:/ {printf \"%d\\n\", 100 - $7 * 100 / $2}'", "every": 10 },
    "disk":    { "shell": "df -H / | awk 'NR==2 {print $4}'", "every": 300 },
    "battery": { "shell": "cat /sys/class/power_supply/BAT*/capacity 2>/dev/null | head -1", "every": 60 },
    "uptime":  { "shell": "uptime | sed -E 's/.*up +([^,]+),.*/\\1/'", "every": 60 }
  },
  "widgets": [
    { "type": "text", "x": 12, "y": 37, "text": "Cards", "size": 18 },

    { "type": "card", "x": 8,   "y": 62, "w": 148, "h": 96, "caption": "CPU", "value": "{{cpu}}%",
      "color": [ { "at": 0, "color": "up" }, { "at": 60, "color": "accent" }, { "at": 85, "color": "down" } ] },
    { "type": "card", "x": 166, "y": 62, "w": 148, "h": 96, "caption": "MEMORY", "value": "{{memory}}%",
      "color": [ { "at": 0, "color": "up" }, { "at": 60, "color": "accent" }, { "at": 85, "color": "down" } ] },
    { "type": "card", "x": 324, "y": 62, "w": 148, "h": 96, "caption": "BATTERY", "value": "{{battery}}%",
      "color": [ { "at": 0, "color": "down" }, { "at": 20, "color": "accent" }, { "at": 50, "color": "up" } ] },

    { "type": "card", "x": 8,   "y": 168, "w": 228, "h": 60, "caption": "DISK FREE", "value": "{{disk}}" },
    { "type": "card", "x": 244, "y": 168, "w": 228, "h": 60, "caption": "UPTIME", "value": "{{uptime}}", "size": 18 }
  ]
}
)json";

const char buttonsJson[] = R"json({
  "title": "Buttons",
  "widgets": [
    { "type": "text", "x": 12, "y": 37, "text": "Buttons", "size": 18 },

    { "type": "button", "x": 8,   "y": 62, "w": 148, "h": 106, "label": "Previous", "icon": "prev",
      "action": { "kind": "media", "usage": 182 } },
    { "type": "button", "x": 166, "y": 62, "w": 148, "h": 106, "label": "Play/Pause", "icon": "play",
      "action": { "kind": "media", "usage": 205 } },
    { "type": "button", "x": 324, "y": 62, "w": 148, "h": 106, "label": "Next", "icon": "next",
      "action": { "kind": "media", "usage": 181 } },

    { "type": "button", "x": 8,   "y": 178, "w": 148, "h": 106, "label": "Lock", "icon": "power",
      "action": { "kind": "keystroke", "key": "l", "modifiers": ["command"] } },
    { "type": "button", "x": 166, "y": 178, "w": 148, "h": 106, "label": "Firefox", "icon": "wifi",
      "action": { "kind": "openApp", "bundleID": "firefox-esr", "name": "Firefox" } },
    { "type": "button", "x": 324, "y": 178, "w": 148, "h": 106, "label": "Home", "icon": "home",
      "action": { "kind": "showScreen", "screen": "home" } }
  ]
}
)json";

const char pushedJson[] = R"json({
  "title": "Pushed",
  "sources": {
    "status": { "push": "demo.status", "expires": 3600 },
    "note":   { "push": "demo.note" }
  },
  "widgets": [
    { "type": "text", "x": 12, "y": 37, "text": "Pushed", "size": 18 },

    { "type": "card", "x": 8, "y": 62, "w": 464, "h": 96, "caption": "STATUS", "value": "{{status}}",
      "color": [ { "is": "passing", "color": "up" }, { "is": "failing", "color": "down" } ] },

    { "type": "box",  "x": 8,  "y": 166, "w": 464, "h": 60 },
    { "type": "text", "x": 20, "y": 176, "text": "NOTE", "color": "text-mute" },
    { "type": "text", "x": 20, "y": 196, "text": "{{note}}", "size": 18 },

    { "type": "text", "x": 12, "y": 244, "text": "tarv set demo.status passing", "color": "text-dim" },
    { "type": "text", "x": 12, "y": 264, "text": "tarv set demo.note hello", "color": "text-dim" }
  ]
}
)json";

const char blankJson[] = R"json({
  "title": "New Screen",
  "widgets": [
    { "type": "text", "x": 12, "y": 37, "text": "New Screen", "size": 18 },
    { "type": "text", "x": 12, "y": 72, "text": "Edit this file; the page reloads as you save.", "color": "text-mute" }
  ]
}
)json";

// The name without its last extension; a name that only begins with a dot keeps it.
QString withoutExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

} // namespace

const QList<ScreenTemplate>& ScreenTemplate::all()
{
    static const QList<ScreenTemplate> templates{
        {QStringLiteral("system"), QStringLiteral("System Stats"), QStringLiteral("gauge.with.dots.needle.33percent"),
         QString::fromUtf8(systemJson)},
        {QStringLiteral("cards"), QStringLiteral("Stat Cards"), QStringLiteral("rectangle.grid.2x2"),
         QString::fromUtf8(cardsJson)},
        {QStringLiteral("buttons"), QStringLiteral("Button Grid"), QStringLiteral("square.grid.3x2"),
         QString::fromUtf8(buttonsJson)},
        {QStringLiteral("pushed"), QStringLiteral("Pushed Values"), QStringLiteral("arrow.down.to.line"),
         QString::fromUtf8(pushedJson)},
        {QStringLiteral("blank"), QStringLiteral("Blank"), QStringLiteral("doc"), QString::fromUtf8(blankJson)},
    };
    return templates;
}

QString ScreenTemplate::uniqueFileName(const QString& wanted, const QStringList& existing)
{
    QSet<QString> taken;
    for (const QString& name : existing)
        taken.insert(withoutExtension(name).toLower());
    if (!taken.contains(wanted.toLower()))
        return wanted;
    for (qint64 n = 2;; ++n) {
        const QString candidate = wanted + u'-' + QString::number(n);
        if (!taken.contains(candidate.toLower()))
            return candidate;
    }
}
