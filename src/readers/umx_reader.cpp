// The Unreal package around a module, for "=A": the module is the body of
// the first exported object whose class is the imported class "Music". Its
// bytes are copied into a temporary file, which then becomes the input, so
// that the module is read from its own first byte, as a module file is.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "readers/module_head.h"
#include "readers/readers.h"

namespace trk2inst {

namespace {

constexpr std::uint32_t tables_start = 36;  // no table lies inside the header
constexpr char package_signature[] = "\xC1\x83\x2A\x9E";
constexpr std::size_t longest_name_compared = 8;

struct Table {
    std::int64_t count = 0;
    std::int64_t offset = 0;
};

struct Package {
    unsigned version = 0;
    std::int64_t size = 0;
    Table names;
    Table exports;
    Table imports;
};

// A signed number of 1 to 5 bytes: the first holds the sign, a "more" bit
// and 6 bits; each further one a "more" bit and 7 bits; the fifth 5 bits.
std::int64_t read_index(InputStream& input)
{
    unsigned byte = read_u8(input);
    const bool negative = (byte & 0x80) != 0;
    std::int64_t value = byte & 0x3F;
    bool more = (byte & 0x40) != 0;
    for (int shift = 6; more && shift <= 27; shift += 7) {
        byte = read_u8(input);
        value |= std::int64_t{byte & (shift == 27 ? 0x1Fu : 0x7Fu)} << shift;
        more = (byte & 0x80) != 0;
    }
    return negative ? -value : value;
}

// A name field, the bytes before its first zero, compared without case.
bool name_is(InputStream& input, std::int64_t length, const char* expected)
{
    std::array<char, longest_name_compared + 1> name{};
    const std::size_t wanted = std::strlen(expected);
    if (length < 0 || static_cast<std::size_t>(length) > wanted + 1)
        return false;
    read_block(input, name.data(), static_cast<std::size_t>(length));
    for (std::size_t i = 0; i <= wanted; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != expected[i])
            return false;
    return true;
}

// Which names are "Music": from version 64 each name has its length in front,
// before that it ends at a zero byte; then come 4 bytes of flags.
std::vector<bool> music_names(InputStream& input, const Package& package)
{
    std::vector<bool> music;
    seek_to(input, package.names.offset);
    for (std::int64_t i = 0; i < package.names.count && input.position < package.size; ++i) {
        const std::int64_t start = input.position;
        if (package.version >= 64) {
            const std::int64_t length = read_index(input);
            const std::int64_t text = input.position;
            music.push_back(name_is(input, length, "music"));
            seek_to(input, text + std::max<std::int64_t>(length, 0));
        } else {
            music.push_back(name_is(input, 6, "music"));
            seek_to(input, start);
            while (read_u8(input) != 0 && input.position < package.size) {
            }
        }
        skip_bytes(input, 4);  // flags
    }
    return music;
}

bool is_music(const std::vector<bool>& music, std::int64_t name)
{
    return name >= 0 && name < static_cast<std::int64_t>(music.size()) && music[static_cast<std::size_t>(name)];
}

// Which imports are the class "Music".
std::vector<bool> music_classes(InputStream& input, const Package& package, const std::vector<bool>& music)
{
    std::vector<bool> classes;
    seek_to(input, package.imports.offset);
    for (std::int64_t i = 0; i < package.imports.count && input.position < package.size; ++i) {
        read_index(input);  // class package
        read_index(input);  // class name
        if (package.version >= 60)
            read_u32le(input);  // package
        else
            read_index(input);
        classes.push_back(is_music(music, read_index(input)));  // object name
    }
    return classes;
}

struct Span {
    std::int64_t offset = 0;
    std::int64_t size = 0;
};

// The body of the first export whose class is an import of class "Music".
bool find_music_object(InputStream& input, const Package& package, const std::vector<bool>& classes, Span& object)
{
    seek_to(input, package.exports.offset);
    for (std::int64_t i = 0; i < package.exports.count && input.position < package.size; ++i) {
        const std::int64_t class_index = read_index(input);  // negative: an import
        read_index(input);                                   // super
        if (package.version >= 60)
            read_u32le(input);  // package
        else
            read_index(input);
        read_index(input);  // object name
        read_u32le(input);  // flags
        object.size = read_index(input);
        object.offset = object.size > 0 ? read_index(input) : 0;
        if (class_index < 0 && is_music(classes, -class_index - 1))
            return true;
    }
    return false;
}

// The module inside the Music object: after the object's fields, which the
// package version decides, its length and then its bytes.
bool find_module(InputStream& input, const Package& package, const Span& object, Span& module)
{
    if (object.offset < 0 || object.offset >= package.size)
        return false;
    seek_to(input, object.offset);
    if (package.version < 40)
        skip_bytes(input, 8);
    if (package.version < 60)
        skip_bytes(input, 16);
    read_index(input);  // properties
    read_index(input);  // format: "it", "s3m", "xm", "mod" (the bytes tell)
    if (package.version >= 120) {
        read_index(input);
        skip_bytes(input, 8);
    } else if (package.version >= 100) {
        skip_bytes(input, 4);
        read_index(input);
        skip_bytes(input, 4);
    } else if (package.version >= 62) {
        skip_bytes(input, 4);  // where the object ends
    }
    module.size = read_index(input);
    module.offset = input.position;
    const std::int64_t end = std::min(object.offset + object.size, package.size);
    return module.size > 0 && module.offset + module.size <= end;
}

Table read_table(InputStream& input)
{
    Table table;
    table.count = read_u32le(input);
    table.offset = read_u32le(input);
    return table;
}

}  // namespace

bool is_umx_package(const ModuleHead& head)
{
    for (const std::size_t at : {12u, 20u, 28u})
        if (head.u32le(at) == 0 || head.u32le(at + 4) < tables_start)
            return false;
    return head.holds(0, package_signature);
}

void refuse_package()
{
    fail("Unexpected format tag: %s\n", printable(package_signature).c_str());
}

void read_umx_package(RunState& state)
{
    InputStream& input = state.input;
    Package package;
    package.size = input_size(input);
    seek_to(input, 4);
    package.version = read_u16le(input);
    seek_to(input, 12);
    package.names = read_table(input);
    package.exports = read_table(input);
    package.imports = read_table(input);
    const std::vector<bool> classes = music_classes(input, package, music_names(input, package));
    Span object;
    Span module;
    if (!find_music_object(input, package, classes, object) || !find_module(input, package, object, module))
        refuse_package();
    seek_to(input, module.offset);
    copy_to_temporary_file(input, module.size);
    read_module_in_package(state);
}

}  // namespace trk2inst
