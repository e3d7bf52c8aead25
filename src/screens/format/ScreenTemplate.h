#pragma once
// The built-in samples a new screen file starts from, and the free file name it is saved under.

#include <QList>
#include <QString>
#include <QStringList>

struct ScreenTemplate {
    QString id;     // base name of the file made from it, before uniquing
    QString name;   // title shown in the menu
    QString symbol; // symbol image shown beside the title
    QString json;   // the complete file text

    friend bool operator==(const ScreenTemplate&, const ScreenTemplate&) = default;

    // The five samples in menu order; the first is also the file a new Screens folder gets.
    static const QList<ScreenTemplate>& all();

    // `wanted`, or `wanted`-2, -3 … : the first base name that differs, ignoring case, from
    // every existing file name with its extension stripped.
    static QString uniqueFileName(const QString& wanted, const QStringList& existing);
};
