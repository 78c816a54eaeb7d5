#include "builder_bytes.h"

#include <algorithm>
#include <cstdio>

namespace trk2inst::build {

std::string numbered(const char* prefix, int number)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%d", prefix, number);
    return text;
}

bool write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

void put_u8(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

void put_u16be(Bytes& out, unsigned value)
{
    put_u8(out, value >> 8);
    put_u8(out, value);
}

void put_u16le(Bytes& out, unsigned value)
{
    put_u8(out, value);
    put_u8(out, value >> 8);
}

void put_u32le(Bytes& out, std::uint32_t value)
{
    put_u16le(out, value & 0xFFFF);
    put_u16le(out, value >> 16);
}

void put_u32be(Bytes& out, std::uint32_t value)
{
    put_u16be(out, value >> 16);
    put_u16be(out, value & 0xFFFF);
}

void put_text(Bytes& out, std::string_view text, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        put_u8(out, i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
}

void fit_to(Bytes& out, std::size_t size)
{
    out.resize(size, 0);
}

void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes filler(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((seed + i * 7) & 0xFF);
    return bytes;
}

Bytes adpcm_pack(const std::array<std::int8_t, 16>& table, const std::vector<std::uint8_t>& steps)
{
    Bytes out;
    for (std::int8_t step : table)
        put_u8(out, static_cast<std::uint8_t>(step));
    for (std::size_t i = 0; i < steps.size(); i += 2)
        put_u8(out, (steps[i] & 0x0Fu) | (i + 1 < steps.size() ? (steps[i + 1] & 0x0Fu) << 4 : 0u));
    return out;
}

void patch_u16le(Bytes& out, std::size_t offset, unsigned value)
{
    out[offset] = static_cast<std::uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void patch_u32le(Bytes& out, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        out[offset + i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

void patch_u32be(Bytes& out, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        out[offset + i] = static_cast<std::uint8_t>((value >> (24 - 8 * i)) & 0xFF);
}

}  // namespace trk2inst::build
