#pragma once
// One parsed screen file: a custom device page with its title, background, data sources,
// widgets and visibility conditions, plus the operations that parse, inspect and animate it.

#include "device/DeviceIcon.h"
#include "macros/MacroAction.h"
#include "screens/format/DisplayValues.h"
#include "screens/format/ScreenIssue.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <variant>

struct CustomScreen {
    struct Rect {
        qint64 x = 0;
        qint64 y = 0;
        qint64 w = 0;
        qint64 h = 0;
        friend bool operator==(const Rect&, const Rect&) = default;
    };

    enum class Alignment { left, center, right };

    // A colour that applies from its threshold upwards.
    struct ColorStop {
        double at = 0;
        std::uint32_t color = 0;
        friend bool operator==(const ColorStop&, const ColorStop&) = default;
    };

    struct ColorRule {
        struct Match {
            QString text;
            std::uint32_t color = 0;
            friend bool operator==(const Match&, const Match&) = default;
        };
        std::optional<QString> by;
        QList<ColorStop> stops;
        QList<Match> matches;

        // The colour of a text widget whose filled text is `text`; none keeps its own colour.
        std::optional<std::uint32_t> pickColor(const QString& text, const DisplayValues& values) const;

        friend bool operator==(const ColorRule&, const ColorRule&) = default;
    };

    struct TextWidget {
        qint64 x = 0;
        qint64 y = 0;
        std::optional<qint64> width;
        qint64 height = 0;
        QString text;
        qint64 fontSize = 14;
        std::uint32_t color = 0;
        Alignment alignment = Alignment::left;
        std::optional<ColorRule> rule;
        friend bool operator==(const TextWidget&, const TextWidget&) = default;
    };

    struct BoxFrame {
        double duration = 0;
        Rect rect;
        std::uint32_t background = 0;
        friend bool operator==(const BoxFrame&, const BoxFrame&) = default;
    };

    struct BoxWidget {
        Rect rect;
        std::uint32_t background = 0;
        std::uint32_t border = 0;
        qint64 borderWidth = 0;
        qint64 radius = 0;
        QList<BoxFrame> frames;

        // The frame shown `time` seconds after the page appeared and how long it stays.
        std::optional<std::pair<BoxFrame, double>> currentFrame(double time) const;

        friend bool operator==(const BoxWidget&, const BoxWidget&) = default;
    };

    struct BarWidget {
        Rect rect;
        QString value;
        double max = 100;
        QList<ColorStop> stops;
        std::uint32_t track = 0;
        std::uint32_t border = 0;
        qint64 borderWidth = 0;
        qint64 radius = 0;
        qint64 inset = 0;

        std::uint32_t fillColor(const DisplayValues& values) const;

        friend bool operator==(const BarWidget&, const BarWidget&) = default;
    };

    struct ButtonWidget {
        Rect rect;
        QString label;
        std::optional<DeviceIcon> icon;
        MacroAction action;
        qint64 fontSize = 18;
        std::uint32_t color = 0;
        std::uint32_t background = 0;
        std::uint32_t border = 0;
        qint64 borderWidth = 0;
        qint64 radius = 0;
        friend bool operator==(const ButtonWidget&, const ButtonWidget&) = default;
    };

    struct SpriteFrame {
        double duration = 0;
        qint64 cell = 0;
        friend bool operator==(const SpriteFrame&, const SpriteFrame&) = default;
    };

    struct SpriteWidget {
        qint64 x = 0;
        qint64 y = 0;
        QString sheet;
        qint64 count = 1;
        QList<SpriteFrame> frames;

        // The cell shown `time` seconds after the page appeared and how long it stays.
        std::optional<std::pair<qint64, double>> currentFrame(double time) const;

        friend bool operator==(const SpriteWidget&, const SpriteWidget&) = default;
    };

    struct SparklineWidget {
        Rect rect;
        QString value;
        qint64 points = 0;
        std::uint32_t color = 0;
        std::uint32_t background = 0;
        std::optional<double> min;
        std::optional<double> max;

        // The finite numbers the sparkline plots, oldest first.
        QList<double> series(const DisplayValues& values) const;
        // Runs and joints of the line, relative to the widget's top-left corner.
        QList<Rect> segmentRects(const DisplayValues& values) const;

        friend bool operator==(const SparklineWidget&, const SparklineWidget&) = default;
    };

    using Widget = std::variant<TextWidget, BoxWidget, BarWidget, ButtonWidget, SpriteWidget, SparklineWidget>;

    struct Condition {
        QString templateText;
        bool hidesWhenTrue = false;

        // Whether the widget it belongs to shows with these values.
        bool shows(const DisplayValues& values) const;

        friend bool operator==(const Condition&, const Condition&) = default;
    };

    struct DataSource {
        struct Shell {
            QString command;
            friend bool operator==(const Shell&, const Shell&) = default;
        };
        struct Url {
            QUrl url;
            std::optional<QString> field;
            QMap<QString, QString> headers;
            friend bool operator==(const Url&, const Url&) = default;
        };
        struct Push {
            QString name;
            std::optional<double> expires;
            friend bool operator==(const Push&, const Push&) = default;
        };
        using Kind = std::variant<Shell, Url, Push>;

        QString key;
        Kind kind;
        double interval = 60;
        std::optional<qint64> decimals;

        friend bool operator==(const DataSource&, const DataSource&) = default;
    };

    // What the page's placeholders read of one source.
    struct SourceUse {
        bool whole = false;
        QSet<QString> paths;
        friend bool operator==(const SourceUse&, const SourceUse&) = default;
    };

    // A placeholder key matched to a source: the source's name, and the path into its value
    // (none when the key reads the whole value).
    struct ResolvedKey {
        QString source;
        std::optional<QString> path;
        friend bool operator==(const ResolvedKey&, const ResolvedKey&) = default;
    };

    QString id;
    QString title;
    std::uint32_t background = 0x0A0B0C;
    QList<DataSource> sources;
    QList<Widget> widgets;
    std::map<qint64, Condition> conditions;

    // The fingerprint worked out once, when the store read the file: a screen is not changed
    // after that, and every approval check asks for it. It takes no part in equality.
    struct KeptFingerprint {
        std::optional<std::optional<QString>> value;
        friend bool operator==(const KeptFingerprint&, const KeptFingerprint&) { return true; }
    };
    KeptFingerprint keptFingerprint;

    friend bool operator==(const CustomScreen&, const CustomScreen&) = default;

    // Device nodes the page needs (the page limit is maxNodes).
    qint64 nodeCount() const;
    QList<SpriteWidget> spriteWidgets() const;

    QSet<QString> usedKeys() const;
    QSet<QString> sparklineKeys() const;
    QHash<QString, SourceUse> sourceUses() const;

    // Seconds until the next animation frame change, or none when nothing animates.
    std::optional<double> nextFrameChange(double time) const;

    // One thing the screen does on the desktop, as the user approves it. The fingerprint
    // hashes the identities only, so titles and details may be reworded freely. Titles, details
    // and headers are shown as they are, wherever the approval is shown: every text of the file
    // in them is written out already (approvalText, quotedTitle).
    struct Permission {
        enum class Kind { shell, url, action };
        Kind kind = Kind::shell;
        QString title;
        QString detail;
        QString identity;
        // The header fields a url source sends with its address, by name in ascending order:
        // approved and shown with it.
        QList<std::pair<QString, QString>> headers;

        static QString kindRawValue(Kind kind);
        // The list identity: kind, title and identity, blank-separated.
        QString id() const;

        friend bool operator==(const Permission&, const Permission&) = default;
    };

    // These live with the screen runtime, which owns approvals (ScreenPermissions.cpp).
    // What the screen does on the desktop: its used shell and url sources, then its buttons
    // that do more than switch pages.
    QList<Permission> permissions() const;
    // 64 lower-case hex digits over the distinct identities; none without any permission.
    // The kept one when there is one.
    std::optional<QString> fingerprint() const;
    // Works the fingerprint out now and keeps it with the screen.
    void keepFingerprint();
    // None for a push source.
    std::optional<Permission> sourcePermission(const DataSource& source) const;
    // The words an approval shows for an action, from what it sends or opens: every modifier
    // the device presses, the address as it opens, each name and text with its look-alikes
    // written out. Two actions that do different things never read alike.
    static QString actionDetail(const MacroAction& action);

    // The scalars of the text that the device font at that size cannot draw, in order.
    static QString undrawableScalars(const QString& text, int fontSize);

    static constexpr qint64 maxNodes = 108;
    static constexpr qint64 maxSpriteSlots = 8;
    static constexpr int maxTitleCharacters = 40;

    // Parsing. `parse` returns none only when the bytes are not a JSON object; otherwise the
    // file is usable unless an error was appended to the issues.
    static std::optional<CustomScreen> parse(const QByteArray& data, const QString& id, const QString& file,
                                             QList<ScreenIssue>& issues);

    // Shared readers: each reports a wrong type at keyPath(prefix, key) and gives none.
    static QString keyPath(const QString& prefix, const QString& key);
    static std::optional<QString> readString(const QJsonObject& object, const QString& key, const QString& prefix,
                                             ScreenIssueSink& sink);
    static std::optional<double> readNumber(const QJsonObject& object, const QString& key, const QString& prefix,
                                            ScreenIssueSink& sink);
    static std::optional<qint64> readWholeNumber(const QJsonObject& object, const QString& key,
                                                 const QString& prefix, ScreenIssueSink& sink);
    static std::optional<std::uint32_t> parseColor(const QString& text);
    static void warnUnknownKeys(const QJsonObject& object, const QString& prefix, const QStringList& knownKeys,
                                ScreenIssueSink& sink);
    // Each element of a list that must hold objects: an element of another type is an error,
    // unknown keys are warned about, and `read` gets the object with its path ("path[i]").
    static void readObjectEntries(const QJsonArray& list, const QString& path, const QStringList& knownKeys,
                                  ScreenIssueSink& sink,
                                  const std::function<void(const QJsonObject&, const QString&)>& read);

    // One element of "widgets": the widgets it adds (a card adds several, a bad entry none).
    static QList<Widget> parseWidgetEntry(const QJsonObject& object, const QString& path,
                                          const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static std::optional<Condition> parseCondition(const QJsonObject& object, const QString& path,
                                                   const QSet<QString>& sourceNames, ScreenIssueSink& sink);

    // Widgets: each parser reports into the sink and gives no payload where it has to stop;
    // the caller drops a widget (and a card all its widgets) once any error was reported.
    static std::optional<Widget> parseWidget(const QJsonObject& object, const QString& path,
                                             const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static std::optional<TextWidget> parseTextWidget(const QJsonObject& object, const QString& path,
                                                     const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static QList<Widget> parseCard(const QJsonObject& object, const QString& path, const QSet<QString>& sourceNames,
                                   ScreenIssueSink& sink);
    static std::optional<BoxWidget> parseBoxWidget(const QJsonObject& object, const QString& path,
                                                   const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static QList<BoxFrame> readBoxFrames(const std::optional<QJsonValue>& value, const QString& path,
                                         const Rect& rect, std::uint32_t background, ScreenIssueSink& sink);
    static std::optional<BarWidget> parseBarWidget(const QJsonObject& object, const QString& path,
                                                   const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static QList<ColorStop> readBarColor(const std::optional<QJsonValue>& value, const QString& path,
                                         ScreenIssueSink& sink);
    static std::optional<ButtonWidget> parseButtonWidget(const QJsonObject& object, const QString& path,
                                                         const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static std::optional<SpriteWidget> parseSpriteWidget(const QJsonObject& object, const QString& path,
                                                         const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static QList<SpriteFrame> readSpriteFrames(const QJsonValue& value, const QString& path, qint64 count,
                                               double defaultDuration, ScreenIssueSink& sink);
    static std::optional<SparklineWidget> parseSparklineWidget(const QJsonObject& object, const QString& path,
                                                               const QSet<QString>& sourceNames,
                                                               ScreenIssueSink& sink);

    // Checks shared by the widget parsers; `path` is the widget's (or entry's) own path.
    static std::optional<qint64> requireWholeNumber(const QJsonObject& object, const QString& key,
                                                    const QString& path, ScreenIssueSink& sink);
    // Reports every way the rectangle leaves the panel's free area; never moves it.
    static bool checkRect(qint64 x, qint64 y, qint64 w, qint64 h, const QString& path, ScreenIssueSink& sink);
    static qint64 readFontSize(const QJsonObject& object, const QString& path, qint64 defaultSize,
                               ScreenIssueSink& sink);
    static Alignment readAlignment(const QJsonObject& object, const QString& path, ScreenIssueSink& sink);
    // A key holding one colour; the default when it is absent or unusable.
    static std::uint32_t readColorSetting(const QJsonObject& object, const QString& key, const QString& path,
                                          std::uint32_t defaultColor, ScreenIssueSink& sink);
    // A key holding a whole number within lo...hi; the default when absent or unusable.
    static qint64 readRangeSetting(const QJsonObject& object, const QString& key, const QString& path, qint64 lo,
                                   qint64 hi, qint64 defaultValue, ScreenIssueSink& sink);
    static std::optional<std::uint32_t> requireColor(const QString& text, const QString& path,
                                                     ScreenIssueSink& sink);
    // Checks a text shown on the device: its placeholders, glyphs and length.
    static void checkText(const QString& text, const QString& path, qint64 fontSize,
                          const QSet<QString>& sourceNames, ScreenIssueSink& sink);
    static std::pair<std::uint32_t, std::optional<ColorRule>> readColorRule(const QJsonObject& object,
                                                                           const QString& path, const QString& text,
                                                                           const QSet<QString>& sourceNames,
                                                                           ScreenIssueSink& sink);
    static ColorRule readColorList(const QJsonArray& list, const std::optional<QString>& by, const QString& path,
                                   ScreenIssueSink& sink);
    // Ascending by threshold; equal thresholds keep their order.
    static void sortColorStops(QList<ColorStop>& stops);
    // One error at `path` for each distinct placeholder key of the text, ascending, that names
    // no source of the file.
    static void reportUnresolvedKeys(const QString& text, const QString& path, const QSet<QString>& sourceNames,
                                     ScreenIssueSink& sink);

    static constexpr qint64 panelWidth = 480;
    static constexpr qint64 contentTop = 28;
    static constexpr qint64 contentBottom = 292;
    static constexpr qint64 spriteFrameWidth = 120;
    static constexpr qint64 spriteFrameHeight = 112;

    // Sources: `value` is the "sources" value, or none when the file has no such key.
    static QList<DataSource> parseSources(const std::optional<QJsonValue>& value, ScreenIssueSink& sink);
    static std::optional<ResolvedKey> resolveKey(const QString& key, const QSet<QString>& sourceNames);

    // A letter or "_", then letters, digits, "_", "." and "-": a source name or placeholder key.
    static bool isValidSourceName(QStringView name);
};
