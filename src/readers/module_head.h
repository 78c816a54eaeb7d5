// The first bytes of a module, by which "=A" recognises its format before
// any reader runs. Bytes past what arrived read as zero and never match.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace trk2inst {

struct ModuleHead {
    // Enough for every header that recognition examines (the longest, a
    // Scream Tracker 2 header with its sample headers and orders, is 1,168).
    std::array<std::uint8_t, 2048> bytes{};
    std::size_t size = 0;  // how many arrived

    // Compares only bytes that arrived.
    bool holds(std::size_t offset, const char* text) const
    {
        const std::size_t length = std::strlen(text);
        return size >= offset + length && std::memcmp(bytes.data() + offset, text, length) == 0;
    }
    // Whether every byte from `from` to before `to` is printable ASCII.
    bool printable(std::size_t from, std::size_t to) const
    {
        for (std::size_t at = from; at < to; ++at)
            if (u8(at) < 0x20 || u8(at) > 0x7E)
                return false;
        return true;
    }
    unsigned u8(std::size_t at) const { return at < size ? bytes[at] : 0u; }
    unsigned u16le(std::size_t at) const { return u8(at) | u8(at + 1) << 8; }
    unsigned u16be(std::size_t at) const { return u8(at) << 8 | u8(at + 1); }
    std::uint32_t u32le(std::size_t at) const { return u16le(at) | std::uint32_t{u16le(at + 2)} << 16; }
    std::uint32_t u32be(std::size_t at) const { return std::uint32_t{u16be(at)} << 16 | u16be(at + 2); }
};

}  // namespace trk2inst
