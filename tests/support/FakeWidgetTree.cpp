#include "support/FakeWidgetTree.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>

namespace TarvFake {

using TarvUSB::PatchOp;

namespace {

QString idText(std::uint32_t id) { return QString::number(id); }

}  // namespace

std::optional<std::int32_t> FakeWidget::intProp(const QString& key) const
{
    const auto found = props.find(key);
    if (found == props.end())
        return std::nullopt;
    if (const auto* i = std::get_if<std::int32_t>(&found->value))
        return *i;
    return std::nullopt;
}

std::optional<std::uint32_t> FakeWidget::colorProp(const QString& key) const
{
    const auto found = props.find(key);
    if (found == props.end())
        return std::nullopt;
    if (const auto* c = std::get_if<TarvUSB::PropValue::Color>(&found->value))
        return c->c;
    return std::nullopt;
}

bool FakeWidget::isHidden() const
{
    const auto found = props.find(QStringLiteral("hidden"));
    if (found == props.end())
        return false;
    const auto* b = std::get_if<bool>(&found->value);
    return b && *b;
}

std::uint16_t rgb565(std::uint32_t rgb)
{
    const std::uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    return std::uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

FakeWidgetTree::FakeWidgetTree() { clear(); }

void FakeWidgetTree::clear()
{
    nodes.clear();
    FakeWidget root;
    root.id = rootId;
    root.kind = QStringLiteral("screen");
    nodes.insert(rootId, root);
}

const FakeWidget* FakeWidgetTree::find(std::uint32_t id) const
{
    const auto found = nodes.constFind(id);
    return found == nodes.constEnd() ? nullptr : &found.value();
}

void FakeWidgetTree::apply(const PatchOp& op)
{
    std::visit(
        [this](const auto& o) {
            using O = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<O, TarvUSB::PatchOpCreate>) {
                if (nodes.contains(o.id))
                    return problems.append(QStringLiteral("create: node ") + idText(o.id) + QStringLiteral(" exists"));
                if (!nodes.contains(o.parentId))
                    return problems.append(QStringLiteral("create: no parent ") + idText(o.parentId));
                FakeWidget node;
                node.id = o.id;
                node.kind = o.kind;
                nodes.insert(o.id, node);
                attach(o.id, o.parentId, o.index);
            } else if constexpr (std::is_same_v<O, TarvUSB::PatchOpRemove>) {
                if (o.id == rootId)
                    return problems.append(QStringLiteral("remove: the screen stays"));
                if (!nodes.contains(o.id)) {
                    if (o.id == pageId)
                        return;
                    return problems.append(QStringLiteral("remove: no node ") + idText(o.id));
                }
                detach(o.id);
                removeSubtree(o.id);
            } else if constexpr (std::is_same_v<O, TarvUSB::PatchOpMove>) {
                if (o.id == rootId || !nodes.contains(o.id) || !nodes.contains(o.parentId))
                    return problems.append(QStringLiteral("move: no node ") + idText(o.id) + QStringLiteral(" or ")
                                           + idText(o.parentId));
                if (isInside(o.parentId, o.id))
                    return problems.append(QStringLiteral("move: node ") + idText(o.id)
                                           + QStringLiteral(" under its own subtree"));
                detach(o.id);
                attach(o.id, o.parentId, o.index);
            } else if constexpr (std::is_same_v<O, TarvUSB::PatchOpSetProps>) {
                const auto found = nodes.find(o.id);
                if (found == nodes.end())
                    return problems.append(QStringLiteral("setProps: no node ") + idText(o.id));
                for (const TarvUSB::PropEntry& entry : o.props)
                    found->props.insert(entry.key, entry.value);
            } else {
                const auto found = nodes.find(o.id);
                if (found == nodes.end())
                    return problems.append(QStringLiteral("setText: no node ") + idText(o.id));
                found->text = o.text;
            }
        },
        op.op);
}

void FakeWidgetTree::attach(std::uint32_t id, std::uint32_t parentId, std::uint16_t index)
{
    nodes[id].parentId = parentId;
    QList<std::uint32_t>& siblings = nodes[parentId].children;
    siblings.insert(std::min<qsizetype>(index, siblings.size()), id);
}

void FakeWidgetTree::detach(std::uint32_t id)
{
    nodes[nodes[id].parentId].children.removeOne(id);
}

void FakeWidgetTree::removeSubtree(std::uint32_t id)
{
    const QList<std::uint32_t> children = nodes.value(id).children;
    for (std::uint32_t child : children)
        removeSubtree(child);
    nodes.remove(id);
}

bool FakeWidgetTree::isInside(std::uint32_t id, std::uint32_t ancestor) const
{
    for (std::uint32_t at = id;;) {
        if (at == ancestor)
            return true;
        if (at == rootId)
            return false;
        at = nodes.value(at).parentId;
    }
}

namespace {

// The device's typefaces, registered once per process; none without a QGuiApplication.
struct DeviceFonts {
    QString text;
    QString symbols;
};

const std::optional<DeviceFonts>& deviceFonts()
{
    static const std::optional<DeviceFonts> fonts = []() -> std::optional<DeviceFonts> {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return std::nullopt;
        const auto family = [](const char* file) {
            const int id = QFontDatabase::addApplicationFont(QStringLiteral(TARV_DEVICE_FONTS_DIR "/") + QLatin1String(file));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            return families.isEmpty() ? QString() : families.first();
        };
        return DeviceFonts{family("Montserrat-Medium.ttf"), family("FontAwesome5-Solid+Brands+Regular.woff")};
    }();
    return fonts;
}

QColor colorOf(std::uint32_t rgb) { return QColor::fromRgb(QRgb(0xFF000000u | rgb)); }

}  // namespace

QList<std::uint16_t> FakeWidgetTree::render(int width, int height, const AssetImages& assets) const
{
    QImage canvas(width, height, QImage::Format_RGB16);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    const std::optional<DeviceFonts>& fonts = deviceFonts();

    // Iterative depth-first walk: a deep tree must not exhaust the stack.
    struct Pending {
        std::uint32_t id;
        int originX, originY;
    };
    QList<Pending> stack{{rootId, 0, 0}};
    while (!stack.isEmpty()) {
        const Pending at = stack.takeLast();
        const FakeWidget* node = find(at.id);
        if (!node || node->isHidden())
            continue;
        const bool isRoot = at.id == rootId;
        const int x = at.originX + node->intProp(QStringLiteral("x")).value_or(0);
        const int y = at.originY + node->intProp(QStringLiteral("y")).value_or(0);
        const int w = isRoot ? width : node->intProp(QStringLiteral("w")).value_or(0);
        const int h = isRoot ? height : node->intProp(QStringLiteral("h")).value_or(0);
        const QRect rect(x, y, w, h);
        const int radius = node->intProp(QStringLiteral("radius")).value_or(0);
        const int borderWidth = node->intProp(QStringLiteral("borderWidth")).value_or(0);
        const auto bg = node->colorProp(QStringLiteral("bg"));
        const auto border = node->colorProp(QStringLiteral("borderColor"));

        if (radius > 0 || (border && borderWidth > 0)) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(border && borderWidth > 0 ? QPen(colorOf(*border), borderWidth) : QPen(Qt::NoPen));
            painter.setBrush(bg ? QBrush(colorOf(*bg)) : QBrush(Qt::NoBrush));
            const qreal inset = border && borderWidth > 0 ? borderWidth / 2.0 : 0.0;
            painter.drawRoundedRect(QRectF(rect).adjusted(inset, inset, -inset, -inset), radius, radius);
            painter.setRenderHint(QPainter::Antialiasing, false);
        } else if (bg) {
            painter.fillRect(rect, colorOf(*bg));
        }

        if (node->kind == u"image" && assets) {
            const QImage image = assets(node->intProp(QStringLiteral("assetId")).value_or(-1));
            if (!image.isNull())
                painter.drawImage(QRect(x, y, w > 0 ? w : image.width(), h > 0 ? h : image.height()), image);
        }
        if (node->kind == u"label" && fonts && !node->text.isEmpty()) {
            QFont font(QStringList{fonts->text, fonts->symbols});
            font.setPixelSize(node->intProp(QStringLiteral("fontSize")).value_or(14));
            painter.setFont(font);
            painter.setPen(colorOf(node->colorProp(QStringLiteral("textColor")).value_or(0xFFFFFF)));
            painter.setRenderHint(QPainter::TextAntialiasing, true);
            painter.drawText(QRect(x, y, w > 0 ? w : width, h > 0 ? h : height), Qt::AlignLeft | Qt::AlignTop,
                             node->text);
        }
        for (qsizetype k = node->children.size() - 1; k >= 0; --k)
            stack.append({node->children[k], x, y});
    }
    painter.end();

    QList<std::uint16_t> pixels(qsizetype(width) * height);
    for (int row = 0; row < height; ++row) {
        const auto* line = reinterpret_cast<const std::uint16_t*>(canvas.constScanLine(row));
        std::copy(line, line + width, pixels.begin() + qsizetype(row) * width);
    }
    return pixels;
}

}  // namespace TarvFake
