#pragma once
// A fixture that reads one "widgets" entry of a screen file against a few source names and
// gives its issues as "E path: message" / "W path: message" lines.

#include "screens/format/CustomScreen.h"
#include "IssueTexts.h"
#include "support/Bytes.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <variant>

struct WidgetParsing : ::testing::Test {
    QList<ScreenIssue> issues;
    QSet<QString> sources{QStringLiteral("cpu"), QStringLiteral("net"), QStringLiteral("weather")};

    static QJsonObject object(const char* json)
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
        return document.object();
    }

    QList<CustomScreen::Widget> entry(const char* json)
    {
        issues.clear();
        ScreenIssueSink sink{QStringLiteral("f.json"), issues};
        return CustomScreen::parseWidgetEntry(object(json), QStringLiteral("widgets[0]"), sources, sink);
    }

    // The one widget of an entry, of the expected kind; none when it was dropped.
    template <typename T>
    std::optional<T> one(const char* json)
    {
        const QList<CustomScreen::Widget> widgets = entry(json);
        if (widgets.size() != 1)
            return std::nullopt;
        const T* payload = std::get_if<T>(&widgets[0]);
        EXPECT_TRUE(payload) << json;
        return payload ? std::optional<T>(*payload) : std::nullopt;
    }

    QStringList texts() const { return issueTexts(issues); }
};

