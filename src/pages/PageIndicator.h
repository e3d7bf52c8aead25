#pragma once
// The page dots at the bottom of the panel: how many pages the swipe list holds, which of
// them shows, and where each dot of the (at most twelve wide) window goes.

#include <QList>

#include <optional>

struct PageIndicator {
    struct Dot {
        int x = 0;  // device pixels, top-left origin
        int y = 0;
        int width = 0;
        int height = 0;
        bool isActive = false;
        friend bool operator==(const Dot&, const Dot&) = default;
    };

    int count = 0;              // pages in the swipe list
    std::optional<int> active;  // position of the shown page; none when it is not in the list

    // The dots to draw in page order; none without a valid active position.
    QList<Dot> dots() const;

    friend bool operator==(const PageIndicator&, const PageIndicator&) = default;
};
