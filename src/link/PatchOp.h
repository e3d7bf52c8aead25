#pragma once
// Edits of the device's widget tree carried by PATCH frames: the operations, the property
// records and values, and their exact wire form.

#include "link/MsgpackReader.h"
#include "link/MsgpackWriter.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

namespace TarvUSB {

enum class PatchOpKind : std::uint8_t { create = 0, remove = 1, move = 2, setProps = 3, setText = 4 };
enum class PropValueKind : std::uint8_t { int32 = 0, str = 1, boolean = 2, color = 3 };

std::optional<PatchOpKind> patchOpKindFromRaw(std::uint8_t raw);
std::optional<PropValueKind> propValueKindFromRaw(std::uint8_t raw);

// One property value: a signed integer, a text, a flag or a 0xRRGGBB colour.
struct PropValue {
    struct Color {
        std::uint32_t c = 0;
        friend bool operator==(const Color&, const Color&) = default;
    };
    std::variant<std::int32_t, QString, bool, Color> value;

    static PropValue int32(std::int32_t i) { return {i}; }
    static PropValue str(QString s) { return {std::move(s)}; }
    static PropValue boolean(bool b) { return {b}; }
    static PropValue color(std::uint32_t c) { return {Color{c}}; }

    PropValueKind kind() const { return PropValueKind(value.index()); }

    void encode(MsgpackWriter& w) const;
    static PropValue decode(MsgpackReader& r);

    friend bool operator==(const PropValue&, const PropValue&) = default;
};

struct PropEntry {
    QString key;
    PropValue value;

    void encode(MsgpackWriter& w) const;
    static PropEntry decode(MsgpackReader& r);

    friend bool operator==(const PropEntry&, const PropEntry&) = default;
};

inline constexpr int maxPropsPerOp = 16;

// The operations, one record per kind.
struct PatchOpCreate {
    std::uint32_t id = 0;
    QString kind;
    std::uint32_t parentId = 0;
    std::uint16_t index = 0;
    friend bool operator==(const PatchOpCreate&, const PatchOpCreate&) = default;
};
struct PatchOpRemove {
    std::uint32_t id = 0;
    friend bool operator==(const PatchOpRemove&, const PatchOpRemove&) = default;
};
struct PatchOpMove {
    std::uint32_t id = 0;
    std::uint32_t parentId = 0;
    std::uint16_t index = 0;
    friend bool operator==(const PatchOpMove&, const PatchOpMove&) = default;
};
struct PatchOpSetProps {
    std::uint32_t id = 0;
    QList<PropEntry> props;
    friend bool operator==(const PatchOpSetProps&, const PatchOpSetProps&) = default;
};
struct PatchOpSetText {
    std::uint32_t id = 0;
    QString text;
    friend bool operator==(const PatchOpSetText&, const PatchOpSetText&) = default;
};

struct PatchOp {
    using Create = PatchOpCreate;
    using Remove = PatchOpRemove;
    using Move = PatchOpMove;
    using SetProps = PatchOpSetProps;
    using SetText = PatchOpSetText;

    // Alternatives in the order of PatchOpKind.
    std::variant<Create, Remove, Move, SetProps, SetText> op;

    static PatchOp create(std::uint32_t id, QString kind, std::uint32_t parentId, std::uint16_t index)
    {
        return {Create{id, std::move(kind), parentId, index}};
    }
    static PatchOp remove(std::uint32_t id) { return {Remove{id}}; }
    static PatchOp move(std::uint32_t id, std::uint32_t parentId, std::uint16_t index)
    {
        return {Move{id, parentId, index}};
    }
    static PatchOp setProps(std::uint32_t id, QList<PropEntry> props)
    {
        return {SetProps{id, std::move(props)}};
    }
    static PatchOp setText(std::uint32_t id, QString text) { return {SetText{id, std::move(text)}}; }

    PatchOpKind kind() const { return PatchOpKind(op.index()); }
    std::uint32_t id() const;

    // Throws MsgpackError (tooManyElements) for more than 16 properties.
    void encode(MsgpackWriter& w) const;
    static PatchOp decode(MsgpackReader& r);

    friend bool operator==(const PatchOp&, const PatchOp&) = default;
};

}  // namespace TarvUSB
