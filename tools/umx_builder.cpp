#include "umx_builder.h"

namespace trk2inst::build {

namespace {

// The indices of the names below.
enum Name : std::int64_t { none, music_class, core, class_class, song, format };

void put_name(Bytes& out, std::uint16_t version, const std::string& name)
{
    if (version >= 64)
        put_index(out, static_cast<std::int64_t>(name.size() + 1));
    put_text(out, name, name.size() + 1);
    put_u32le(out, 0x00070010);  // flags
}

void put_package(Bytes& out, std::uint16_t version)
{
    if (version >= 60)
        put_u32le(out, 0);
    else
        put_index(out, 0);
}

// The Music object's fields as the version lays them out, then the module.
Bytes music_object(const UmxSpec& layout, std::uint32_t offset)
{
    const std::uint16_t version = layout.version;
    Bytes object;
    if (version < 40)
        fit_to(object, 8);
    if (version < 60)
        fit_to(object, object.size() + 16);
    put_index(object, none);
    put_index(object, format);
    if (version >= 120) {
        put_index(object, 0);
        fit_to(object, object.size() + 8);
    } else if (version >= 100) {
        put_u32le(object, 0);
        put_index(object, 0);
        put_u32le(object, 0);
    }
    const std::size_t end_at = object.size();
    if (version >= 62 && version < 100)
        put_u32le(object, 0);  // patched below: where the object ends
    put_index(object, layout.module_length.value_or(static_cast<std::uint32_t>(layout.module.size())));
    append(object, layout.module);
    if (version >= 62 && version < 100)
        patch_u32le(object, end_at, offset + static_cast<std::uint32_t>(object.size()));
    return object;
}

}  // namespace

void put_index(Bytes& out, std::int64_t value)
{
    const bool negative = value < 0;
    std::uint64_t rest = static_cast<std::uint64_t>(negative ? -value : value);
    unsigned first = (negative ? 0x80u : 0u) | static_cast<unsigned>(rest & 0x3F);
    rest >>= 6;
    put_u8(out, first | (rest != 0 ? 0x40u : 0u));
    while (rest != 0) {
        const unsigned next = static_cast<unsigned>(rest & 0x7F);
        rest >>= 7;
        put_u8(out, next | (rest != 0 ? 0x80u : 0u));
    }
}

Bytes build_umx(const UmxSpec& layout)
{
    const std::uint16_t version = layout.version;
    Bytes out{0xC1, 0x83, 0x2A, 0x9E};
    put_u16le(out, version);
    put_u16le(out, 0);  // licensee
    put_u32le(out, 1);  // package flags
    fit_to(out, 36);
    if (version >= 68) {
        fit_to(out, out.size() + 16);  // GUID
        put_u32le(out, 1);             // generations
        put_u32le(out, static_cast<std::uint32_t>(layout.exports));
        put_u32le(out, 6);
    } else {
        fit_to(out, out.size() + 8);  // heritage
    }
    const auto object_at = static_cast<std::uint32_t>(out.size());
    const Bytes object = music_object(layout, object_at);
    append(out, object);

    patch_u32le(out, 12, 6);
    patch_u32le(out, 16, static_cast<std::uint32_t>(out.size()));
    for (const std::string& name : {std::string("None"), layout.class_name, std::string("Core"),
                                    std::string("Class"), std::string("song"), layout.format})
        put_name(out, version, name);

    patch_u32le(out, 28, 1);
    patch_u32le(out, 32, static_cast<std::uint32_t>(out.size()));
    put_index(out, core);
    put_index(out, class_class);
    put_package(out, version);
    put_index(out, music_class);

    patch_u32le(out, 20, static_cast<std::uint32_t>(layout.exports));
    patch_u32le(out, 24, static_cast<std::uint32_t>(out.size()));
    for (int i = 0; i < layout.exports; ++i) {
        put_index(out, -1);  // the first import
        put_index(out, 0);   // super
        put_package(out, version);
        put_index(out, song);
        put_u32le(out, 0x00070004);  // flags
        put_index(out, static_cast<std::int64_t>(object.size()));
        put_index(out, object_at);
    }
    return out;
}

}  // namespace trk2inst::build
