#pragma once
// One frame of each of the 18 message types, with values that exercise every field.

#include "link/Frame.h"

#include <QList>

inline QList<TarvUSB::Frame> oneFrameOfEachType()
{
    using namespace TarvUSB;
    return {
        {1, HelloPayload{QStringLiteral("1.4.2-ü"), 1, 480, 320, 8u << 20}},
        {2, TouchPayload{479, 319, TouchPhase::move}},
        {3, ButtonPayload{2, ButtonPhase::up}},
        {4, AckPayload{65535}},
        {5, LogPayload{LogLevel::warn, QStringLiteral("low heap")}},
        {6, HelloAckPayload{1, true, QStringLiteral("OK")}},
        {7, PatchPayload{{PatchOp::remove(100), PatchOp::setText(101, QStringLiteral("9:41 AM"))}}},
        {8, AssetBeginPayload{2, 307200, QStringLiteral("rgb565le:480x320")}},
        {9, AssetChunkPayload{2, 4096, QByteArray(300, '\0')}},
        {10, AssetEndPayload{2, 0xCBF43926}},
        {11, HidEmitPayload{HidReport::keyboard, 0x09, {0x04, 0x05}}},
        {12, BacklightPayload{100}},
        {13, PingPayload{7}},
        {14, SnapshotRequestPayload{3}},
        {15, SnapshotBeginPayload{3, 480, 320, SnapshotFormat::rgb565Packbits, 70000}},
        {16, SnapshotChunkPayload{3, 65536, QByteArray("\x80\x01\x02", 3)}},
        {17, SnapshotEndPayload{3, false, 0}},
        {0, OrientationPayload{true}},
    };
}
