#include "pages/PageIndicator.h"

#include <algorithm>

QList<PageIndicator::Dot> PageIndicator::dots() const
{
    if (!active || count < 1 || *active < 0 || *active >= count)
        return {};
    const int a = *active;
    const int n = std::min(count, 12);
    // The window keeps the active page near its middle without leaving the list.
    const int start = std::min(count - n, std::max(a - n / 2, 0));
    QList<Dot> result;
    result.reserve(n);
    for (int k = 0; k < n; ++k) {
        const int page = start + k;
        const int centre = 252 - 12 * n + 24 * k;
        Dot dot;
        dot.isActive = page == a;
        const bool clippedFirst = k == 0 && start > 0;
        const bool clippedLast = k == n - 1 && start + n < count;
        if (dot.isActive) {
            dot.width = 20;
            dot.height = 8;
        } else if (clippedFirst || clippedLast) {
            dot.width = dot.height = 4;
        } else {
            dot.width = dot.height = 8;
        }
        dot.x = centre - dot.width / 2;
        dot.y = 304 + (8 - dot.height) / 2;
        result.append(dot);
    }
    return result;
}
