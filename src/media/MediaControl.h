#pragma once
// The three transport commands the Now Playing page offers.

enum class MediaControl { previous, playPause, next };
