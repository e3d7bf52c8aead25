// Build-time generator: turns the device font metrics JSON into a C++ source holding the
// tables as constant arrays, so the application never reads the JSON at run time.
// Usage: tarv_gen_font_metrics <input.json> <output.cpp>. Any inconsistency fails the build.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "tarv_gen_font_metrics: %s\n", message.c_str());
    std::exit(1);
}

int intField(const QJsonObject& font, const char* key, const std::string& where)
{
    const QJsonValue v = font.value(QLatin1StringView(key));
    if (!v.isDouble() || v.toDouble() != double(v.toInteger()))
        fail(where + ": " + key + " is not an integer");
    return int(v.toInteger());
}

QList<qint64> intArray(const QJsonObject& font, const char* key, const std::string& where,
                       qint64 min, qint64 max, qsizetype expectedSize)
{
    const QJsonValue v = font.value(QLatin1StringView(key));
    if (!v.isArray())
        fail(where + ": " + key + " is not an array");
    QList<qint64> out;
    for (const QJsonValue& e : v.toArray()) {
        if (!e.isDouble() || e.toDouble() != double(e.toInteger()))
            fail(where + ": " + key + " holds a non-integer");
        const qint64 n = e.toInteger();
        if (n < min || n > max)
            fail(where + ": " + key + " value " + std::to_string(n) + " out of range");
        out.append(n);
    }
    if (expectedSize >= 0 && out.size() != expectedSize)
        fail(where + ": " + key + " has " + std::to_string(out.size()) + " entries, expected "
             + std::to_string(expectedSize));
    return out;
}

void writeArray(std::string& out, const char* type, const std::string& name,
                const QList<qint64>& values, bool hex)
{
    out += "constexpr " + std::string(type) + " " + name + "[] = {";
    for (qsizetype i = 0; i < values.size(); ++i) {
        out += i % 12 == 0 ? "\n    " : " ";
        char buf[24];
        std::snprintf(buf, sizeof buf, hex ? "0x%llX," : "%lld,", (long long)values[i]);
        out += buf;
    }
    out += "\n};\n";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        fail("usage: tarv_gen_font_metrics <input.json> <output.cpp>");
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        fail(std::string("cannot read ") + argv[1]);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &error);
    if (doc.isNull())
        fail("JSON: " + error.errorString().toStdString());
    const QJsonObject fonts = doc.object().value(QLatin1StringView("fonts")).toObject();

    const int sizes[] = {14, 18, 24, 34};
    if (fonts.size() != 4)
        fail("expected exactly the fonts 14, 18, 24 and 34");

    std::string out =
        "// Generated at build time by tools/GenerateFontMetrics.cpp from\n"
        "// data/device-font-metrics.json. Do not edit.\n\n"
        "#include \"device/MontserratFontData.h\"\n\nnamespace {\n\n";
    std::string table = "const std::array<MontserratFontData, 4> montserratFontData = {{\n";
    QList<qint64> firstCodePoints;
    for (int size : sizes) {
        const std::string where = "font " + std::to_string(size);
        const QJsonValue fv = fonts.value(QString::number(size));
        if (!fv.isObject())
            fail(where + " is missing");
        const QJsonObject font = fv.toObject();
        const int lineHeight = intField(font, "lineHeight", where);
        const int leftCount = intField(font, "leftClassCount", where);
        const int rightCount = intField(font, "rightClassCount", where);
        if (lineHeight <= 0 || leftCount <= 0 || leftCount > 255 || rightCount <= 0
            || rightCount > 255)
            fail(where + ": line height or class counts out of range");
        const QList<qint64> codePoints = intArray(font, "codePoints", where, 0, 0x10FFFF, -1);
        const qsizetype n = codePoints.size();
        if (n == 0)
            fail(where + ": no code points");
        for (qsizetype i = 1; i < n; ++i) {
            if (codePoints[i] <= codePoints[i - 1])
                fail(where + ": code points not ascending and unique at index "
                     + std::to_string(i));
        }
        if (firstCodePoints.isEmpty())
            firstCodePoints = codePoints;
        else if (codePoints != firstCodePoints)
            fail(where + ": code points differ from the first font's");
        const QList<qint64> advances = intArray(font, "advances", where, 0, 65535, n);
        const QList<qint64> left = intArray(font, "leftClasses", where, 0, leftCount, n);
        const QList<qint64> right = intArray(font, "rightClasses", where, 0, rightCount, n);
        const QList<qint64> kerning = intArray(font, "kerning", where, -128, 127,
                                               qsizetype(leftCount) * rightCount);

        const std::string s = std::to_string(size);
        writeArray(out, "char32_t", "codePoints" + s, codePoints, true);
        writeArray(out, "std::uint16_t", "advances" + s, advances, false);
        writeArray(out, "std::uint8_t", "leftClasses" + s, left, false);
        writeArray(out, "std::uint8_t", "rightClasses" + s, right, false);
        writeArray(out, "std::int8_t", "kerning" + s, kerning, false);
        out += "\n";
        table += "    {" + s + ", " + std::to_string(lineHeight) + ", codePoints" + s
                 + ", advances" + s + ", leftClasses" + s + ", rightClasses" + s + ", "
                 + std::to_string(leftCount) + ", " + std::to_string(rightCount) + ", kerning"
                 + s + "},\n";
    }
    out += "}  // namespace\n\n" + table + "}};\n";

    QSaveFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out.data(), qint64(out.size())) < 0
        || !file.commit())
        fail(std::string("cannot write ") + argv[2]);
    return 0;
}
