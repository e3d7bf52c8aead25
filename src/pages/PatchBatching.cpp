#include "pages/PatchBatching.h"

#include "link/Frame.h"

#include <limits>

using TarvUSB::PatchOp;

namespace DynamicUIDemo {

namespace {

// What COBS makes of a byte sequence, kept so that the encoded size of a concatenation is
// known without encoding it: the runs of non-zero bytes at both ends stay open, because
// they join the runs of the neighbouring sequences.
struct CobsRuns {
    qsizetype length = 0;
    qsizetype zeros = 0;
    qsizetype lead = 0;   // non-zero bytes before the first zero (all bytes when no zero)
    qsizetype trail = 0;  // non-zero bytes after the last zero
    qsizetype inner = 0;  // COBS groups of the runs between the first and last zero

    static qsizetype groups(qsizetype run) { return run / 254 + 1; }

    static CobsRuns of(const char* bytes, qsizetype size)
    {
        CobsRuns s;
        s.length = size;
        qsizetype run = 0;
        for (qsizetype i = 0; i < size; ++i) {
            if (bytes[i] != 0) {
                ++run;
                continue;
            }
            if (s.zeros == 0)
                s.lead = run;
            else
                s.inner += groups(run);
            ++s.zeros;
            run = 0;
        }
        if (s.zeros == 0)
            s.lead = run;
        else
            s.trail = run;
        return s;
    }

    CobsRuns then(const CobsRuns& b) const
    {
        CobsRuns s;
        s.length = length + b.length;
        s.zeros = zeros + b.zeros;
        if (zeros == 0 && b.zeros == 0) {
            s.lead = lead + b.lead;
        } else if (zeros == 0) {
            s.lead = lead + b.lead;
            s.trail = b.trail;
            s.inner = b.inner;
        } else if (b.zeros == 0) {
            s.lead = lead;
            s.trail = trail + b.lead;
            s.inner = inner;
        } else {
            s.lead = lead;
            s.trail = b.trail;
            s.inner = inner + groups(trail + b.lead) + b.inner;
        }
        return s;
    }

    qsizetype encodedSize() const
    {
        const qsizetype g = zeros == 0 ? groups(lead) : groups(lead) + inner + groups(trail);
        return length - zeros + g;
    }
};

// The bytes of a PATCH frame with sequence number 0 up to and including its array header.
CobsRuns patchPrefix(qsizetype count)
{
    static const QByteArray head = [] {
        QByteArray empty = TarvUSB::Frame::encode(TarvUSB::Frame{0, TarvUSB::PatchPayload{}});
        empty.chop(1);  // the empty array header
        return empty;
    }();
    TarvUSB::MsgpackWriter w;
    w.writeArrayHeader(std::uint32_t(count));
    return CobsRuns::of(head.constData(), head.size()).then(CobsRuns::of(w.data().constData(), w.data().size()));
}

}  // namespace

QList<QList<PatchOp>> batchPatchOps(const QList<PatchOp>& ops)
{
    constexpr qsizetype unmeasurable = std::numeric_limits<qsizetype>::max();
    QList<QList<PatchOp>> result;
    QList<PatchOp> current;
    CobsRuns currentOps;          // the encoded operations of `current`
    bool currentBroken = false;   // `current` holds an operation that cannot be encoded

    for (const PatchOp& op : ops) {
        CobsRuns opRuns;
        bool opBroken = false;
        try {
            TarvUSB::MsgpackWriter w;
            op.encode(w);
            opRuns = CobsRuns::of(w.data().constData(), w.data().size());
        } catch (const TarvUSB::MsgpackError&) {
            opBroken = true;
        }

        const qsizetype count = current.size() + 1;
        const qsizetype size = (currentBroken || opBroken)
                                   ? unmeasurable
                                   : patchPrefix(count).then(currentOps).then(opRuns).encodedSize() + 1;
        if (!current.isEmpty() && (count > maxBatchOps || size > maxBatchWireBytes)) {
            result.append(std::move(current));
            current = {};
            currentOps = {};
            currentBroken = false;
        }
        current.append(op);
        currentOps = currentOps.then(opRuns);
        currentBroken = currentBroken || opBroken;
    }
    if (!current.isEmpty())
        result.append(std::move(current));
    return result;
}

}  // namespace DynamicUIDemo

