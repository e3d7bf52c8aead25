#pragma once
// Rewrites a text so that as many of its characters as the device fonts allow become
// drawable: fixed replacements, white space to a plain space, else Latin-to-ASCII.

#include <QString>

// The text unchanged (shared, not copied) when the device fonts draw all of it; otherwise
// each undrawable scalar replaced on its own, or kept when nothing drawable replaces it.
QString foldForDevice(const QString& text);
