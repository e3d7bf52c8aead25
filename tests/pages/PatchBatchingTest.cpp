#include "link/Cobs.h"
#include "link/Frame.h"
#include "pages/PatchBatching.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace TarvUSB;
using DynamicUIDemo::batchPatchOps;

namespace {

// The straightforward reading of the rule: encode every candidate batch in full.
qsizetype wireSize(const QList<PatchOp>& ops)
{
    try {
        return cobsEncode(Frame::encode(Frame{0, PatchPayload{ops}})).size() + 1;
    } catch (const MsgpackError&) {
        return std::numeric_limits<qsizetype>::max();
    }
}

QList<QList<PatchOp>> referenceBatches(const QList<PatchOp>& ops)
{
    QList<QList<PatchOp>> result;
    QList<PatchOp> current;
    for (const PatchOp& op : ops) {
        QList<PatchOp> candidate = current;
        candidate.append(op);
        if (!current.isEmpty() && (candidate.size() > 50 || wireSize(candidate) >= 6001)) {
            result.append(current);
            current = {op};
        } else {
            current = candidate;
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}

PatchOp randomOp(std::mt19937& rng)
{
    const auto id = std::uint32_t(rng() % 3 == 0 ? rng() : rng() % 300);
    switch (rng() % 6) {
    case 0:
        return PatchOp::create(id, QStringLiteral("label"), 100, std::uint16_t(rng() % 20));
    case 1:
        return PatchOp::remove(id);
    case 2:
        return PatchOp::move(id, std::uint32_t(rng() % 1000), std::uint16_t(rng()));
    case 3: {
        QList<PropEntry> props;
        const int n = int(rng() % 18);  // now and then one too many
        for (int i = 0; i < n; ++i)
            props.append({QStringLiteral("bg"), PropValue::color(std::uint32_t(rng() & 0xFFFFFF))});
        return PatchOp::setProps(id, props);
    }
    case 4:
        return PatchOp::setText(id, QString(int(rng() % (rng() % 10 == 0 ? 7000 : 40)), QChar(char16_t(u'a' + rng() % 26))));
    default:
        return PatchOp::setText(id, QString(int(rng() % 600), QChar(0)));  // zero bytes galore
    }
}

}  // namespace

TEST(PatchBatching, FiftyOperationsAtMost)
{
    QList<PatchOp> ops;
    for (int i = 0; i < 51; ++i)
        ops.append(PatchOp::remove(std::uint32_t(i)));
    const auto batches = batchPatchOps(ops);
    ASSERT_EQ(batches.size(), 2);
    EXPECT_EQ(batches[0].size(), 50);
    EXPECT_EQ(batches[1].size(), 1);
    EXPECT_TRUE(batchPatchOps({}).isEmpty());
}

TEST(PatchBatching, OversizedOperationGoesAlone)
{
    const QList<PatchOp> ops = {PatchOp::remove(1), PatchOp::remove(2),
                                PatchOp::setText(3, QString(7000, u'x')), PatchOp::remove(4)};
    const auto batches = batchPatchOps(ops);
    ASSERT_EQ(batches.size(), 3);
    EXPECT_EQ(batches[0].size(), 2);
    EXPECT_EQ(batches[1], QList<PatchOp>{ops[2]});
    EXPECT_EQ(batches[2], QList<PatchOp>{ops[3]});
}

TEST(PatchBatching, CutsWhereTheFrameWouldPass6000Bytes)
{
    // Operations of about 1000 bytes: five fit, the sixth would not.
    QList<PatchOp> ops;
    for (int i = 0; i < 12; ++i)
        ops.append(PatchOp::setText(std::uint32_t(i), QString(1000, u'y')));
    const auto batches = batchPatchOps(ops);
    ASSERT_EQ(batches, referenceBatches(ops));
    for (const auto& batch : batches)
        EXPECT_LE(wireSize(batch), 6000);
    EXPECT_GT(batches.size(), 2);
}

TEST(PatchBatching, RandomListsSurviveUnchangedWithinTheLimits)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 150; ++round) {
        QList<PatchOp> ops;
        const int n = int(rng() % 180);
        for (int i = 0; i < n; ++i)
            ops.append(randomOp(rng));
        const auto batches = batchPatchOps(ops);

        QList<PatchOp> joined;
        for (const auto& batch : batches) {
            ASSERT_FALSE(batch.isEmpty());
            ASSERT_LE(batch.size(), 50);
            if (batch.size() > 1) {
                ASSERT_LE(wireSize(batch), 6000);
            }
            joined += batch;
        }
        ASSERT_EQ(joined, ops);
        ASSERT_EQ(batches, referenceBatches(ops)) << "round " << round;
    }
}
