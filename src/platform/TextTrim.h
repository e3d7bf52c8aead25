#pragma once
// Trimming that takes only spaces and tabs: a line break is content, both on the device and
// in screen files.

#include <QStringView>

inline bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

inline QStringView trimSpacesAndTabs(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrTab(text[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}
