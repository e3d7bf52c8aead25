#pragma once
// The fake device's widget tree: applies PATCH operations as the firmware would, keeps what
// went wrong, and draws a picture of it for snapshots: boxes with their borders and corners,
// images from the uploaded assets, and texts in the device's typefaces when a
// QGuiApplication exists (without one, texts are left out).

#include "link/PatchOp.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>

namespace TarvFake {

struct FakeWidget {
    std::uint32_t id = 0;
    QString kind;
    std::uint32_t parentId = 0;
    QList<std::uint32_t> children;  // in child order
    QMap<QString, TarvUSB::PropValue> props;
    QString text;

    std::optional<std::int32_t> intProp(const QString& key) const;
    std::optional<std::uint32_t> colorProp(const QString& key) const;
    bool isHidden() const;
};

class FakeWidgetTree {
public:
    static constexpr std::uint32_t rootId = 0;  // the screen, always present
    // The page's container. The desktop removes it before every page it draws, the first one
    // on a fresh screen included, where there is none yet: that removal is no problem.
    static constexpr std::uint32_t pageId = 100;

    FakeWidgetTree();

    // An operation the firmware would refuse changes nothing and adds a line to errors().
    void apply(const TarvUSB::PatchOp& op);
    void clear();

    const FakeWidget* find(std::uint32_t id) const;
    // Number of nodes, the root included.
    qsizetype size() const { return nodes.size(); }
    const QStringList& errors() const { return problems; }

    // The picture an "image" node shows for an asset id; a null image for none.
    using AssetImages = std::function<QImage(std::int32_t assetId)>;

    // width × height RGB565 pixels, row by row: black, then every visible node at its
    // position relative to its parent, parents before children.
    QList<std::uint16_t> render(int width, int height, const AssetImages& assets = {}) const;

private:
    void removeSubtree(std::uint32_t id);
    bool isInside(std::uint32_t id, std::uint32_t ancestor) const;
    void attach(std::uint32_t id, std::uint32_t parentId, std::uint16_t index);
    void detach(std::uint32_t id);

    QHash<std::uint32_t, FakeWidget> nodes;
    QStringList problems;
};

// 0xRRGGBB to RGB565.
std::uint16_t rgb565(std::uint32_t rgb);

}  // namespace TarvFake
