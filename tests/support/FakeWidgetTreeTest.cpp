#include "support/FakeWidgetTree.h"

#include <gtest/gtest.h>

using namespace TarvFake;
using TarvUSB::PatchOp;
using TarvUSB::PropValue;

namespace {

PatchOp box(std::uint32_t id, int x, int y, int w, int h, std::uint32_t bg)
{
    return PatchOp::setProps(id, {{QStringLiteral("x"), PropValue::int32(x)},
                                  {QStringLiteral("y"), PropValue::int32(y)},
                                  {QStringLiteral("w"), PropValue::int32(w)},
                                  {QStringLiteral("h"), PropValue::int32(h)},
                                  {QStringLiteral("bg"), PropValue::color(bg)}});
}

QList<std::uint32_t> childrenOf(const FakeWidgetTree& tree, std::uint32_t id) { return tree.find(id)->children; }

}  // namespace

TEST(FakeWidgetTree, BuildsMovesAndRemovesNodes)
{
    FakeWidgetTree tree;
    tree.apply(PatchOp::create(100, QStringLiteral("cont"), 0, 0));
    tree.apply(PatchOp::create(2, QStringLiteral("label"), 100, 0));
    tree.apply(PatchOp::create(1, QStringLiteral("label"), 100, 0));   // in front of 2
    tree.apply(PatchOp::create(3, QStringLiteral("btn"), 100, 99));    // past the end: last
    EXPECT_EQ(childrenOf(tree, 100), (QList<std::uint32_t>{1, 2, 3}));
    tree.apply(PatchOp::setText(1, QStringLiteral("Hi")));
    EXPECT_EQ(tree.find(1)->text, QStringLiteral("Hi"));

    tree.apply(PatchOp::move(3, 0, 0));
    EXPECT_EQ(childrenOf(tree, 0), (QList<std::uint32_t>{3, 100}));
    EXPECT_EQ(tree.find(3)->parentId, 0u);

    tree.apply(PatchOp::remove(100));  // the whole page goes
    EXPECT_EQ(tree.size(), 2);
    EXPECT_EQ(tree.find(1), nullptr);
    EXPECT_EQ(childrenOf(tree, 0), QList<std::uint32_t>{3});
    EXPECT_TRUE(tree.errors().isEmpty());
}

TEST(FakeWidgetTree, RefusesWhatTheFirmwareCannotDo)
{
    FakeWidgetTree tree;
    tree.apply(PatchOp::create(100, QStringLiteral("cont"), 0, 0));
    tree.apply(PatchOp::create(101, QStringLiteral("cont"), 100, 0));
    tree.apply(PatchOp::create(100, QStringLiteral("label"), 0, 0));   // id taken
    tree.apply(PatchOp::create(5, QStringLiteral("label"), 77, 0));    // no parent
    tree.apply(PatchOp::move(100, 101, 0));                            // into its own child
    tree.apply(PatchOp::remove(0));
    tree.apply(PatchOp::setText(9, QStringLiteral("x")));
    EXPECT_EQ(tree.errors().size(), 5);
    EXPECT_EQ(tree.size(), 3);
    EXPECT_EQ(tree.find(101)->parentId, 100u);
    EXPECT_EQ(tree.find(100)->kind, QStringLiteral("cont"));
}

// The first page after a greeting begins by removing the page container, which a fresh
// screen does not have: the fake firmware reported a problem on almost every connection.
TEST(FakeWidgetTree, AFreshScreenTakesTheRemovalOfThePageItDoesNotHaveYet)
{
    FakeWidgetTree tree;
    tree.apply(PatchOp::remove(100));
    tree.apply(PatchOp::create(100, QStringLiteral("cont"), 0, 0));
    EXPECT_TRUE(tree.errors().isEmpty()) << tree.errors().join(u'\n').toStdString();
    EXPECT_EQ(tree.size(), 2);
    tree.apply(PatchOp::remove(101));
    EXPECT_EQ(tree.errors(), QStringList{QStringLiteral("remove: no node 101")});
}

TEST(FakeWidgetTree, DrawsBoxesRelativeToTheirParents)
{
    FakeWidgetTree tree;
    tree.apply(PatchOp::setProps(0, {{QStringLiteral("bg"), PropValue::color(0x000000)}}));
    tree.apply(PatchOp::create(100, QStringLiteral("cont"), 0, 0));
    tree.apply(box(100, 10, 10, 20, 20, 0xFF0000));
    tree.apply(PatchOp::create(101, QStringLiteral("cont"), 100, 0));
    tree.apply(box(101, 5, 5, 100, 2, 0x00FF00));  // over its parent, off the right edge
    tree.apply(PatchOp::create(102, QStringLiteral("cont"), 0, 1));
    tree.apply(box(102, 0, 0, 4, 4, 0xFFFFFF));
    tree.apply(PatchOp::setProps(102, {{QStringLiteral("hidden"), PropValue::boolean(true)}}));

    const QList<std::uint16_t> pixels = tree.render(40, 20);
    const auto at = [&](int x, int y) { return pixels[y * 40 + x]; };
    EXPECT_EQ(at(0, 0), 0x0000);       // the hidden box is not drawn
    EXPECT_EQ(at(10, 10), 0xF800);
    EXPECT_EQ(at(15, 15), 0x07E0);     // child drawn after its parent, at parent + offset
    EXPECT_EQ(at(39, 16), 0x07E0);     // clipped at the edge
    EXPECT_EQ(at(29, 19), 0xF800);
    EXPECT_EQ(rgb565(0xFFB020), 0xFD84);
}
