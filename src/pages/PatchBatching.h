#pragma once
// Cuts a long list of widget-tree operations into PATCH frames that the device accepts.

#include "link/PatchOp.h"

#include <QList>

namespace DynamicUIDemo {

// The most operations in one batch, and the most bytes its PATCH frame (sequence number 0,
// COBS-encoded, with its delimiter) may take on the wire.
inline constexpr int maxBatchOps = 50;
inline constexpr qsizetype maxBatchWireBytes = 6000;

// The batches in order; concatenated they give the input unchanged. An operation that is
// too large for any frame on its own still goes out, in a batch of its own.
QList<QList<TarvUSB::PatchOp>> batchPatchOps(const QList<TarvUSB::PatchOp>& ops);

}  // namespace DynamicUIDemo
