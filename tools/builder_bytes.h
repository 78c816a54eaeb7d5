// The bytes of the module builders: numbers of either order, fixed-width
// text, fillers and patches.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trk2inst::build {

using Bytes = std::vector<std::uint8_t>;

void put_u8(Bytes& out, unsigned value);
void put_u16be(Bytes& out, unsigned value);
void put_u16le(Bytes& out, unsigned value);
void put_u32le(Bytes& out, std::uint32_t value);
void put_u32be(Bytes& out, std::uint32_t value);
// Writes text, cut or zero-padded to exactly width bytes.
void put_text(Bytes& out, std::string_view text, std::size_t width);
// Cuts the buffer to size bytes, or pads it with zeros up to size.
void fit_to(Bytes& out, std::size_t size);
void append(Bytes& out, const Bytes& more);

// prefix followed by the decimal number, such as "s12".
std::string numbered(const char* prefix, int number);

// Writes the bytes to the file; on failure prints why on standard error and
// returns false.
bool write_file(const std::string& path, const Bytes& bytes);

// A recognisable filler: byte i is (seed + i * 7) mod 256.
Bytes filler(std::size_t size, unsigned seed);

// ModPlug's 4-bit ADPCM as stored: the 16-byte table of signed steps, then
// the step indexes two a byte, the first in the low nibble.
Bytes adpcm_pack(const std::array<std::int8_t, 16>& table, const std::vector<std::uint8_t>& steps);

// Overwrite the little-endian number at `offset`, which the buffer holds.
void patch_u16le(Bytes& out, std::size_t offset, unsigned value);
void patch_u32le(Bytes& out, std::size_t offset, std::uint32_t value);
void patch_u32be(Bytes& out, std::size_t offset, std::uint32_t value);

}  // namespace trk2inst::build
