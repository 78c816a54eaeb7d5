// The codings of stored samples, decoded from bytes.
#include <gtest/gtest.h>

#include "readers/stored_sample.h"

namespace trk2inst::test {
namespace {

struct CodingCase {
    const char* what;
    StoredLayout layout;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int16_t> values;
};

class StoredCodings : public ::testing::TestWithParam<CodingCase> {};

TEST_P(StoredCodings, DecodeToSignedValues)
{
    const CodingCase& c = GetParam();
    std::vector<std::int16_t> out(c.values.size());
    decode_stored_values(c.layout, c.bytes.data(), out.data(), out.size());
    EXPECT_EQ(out, c.values) << c.what;
}

StoredLayout coded(StoredCoding coding, int bits, bool big_endian = false)
{
    StoredLayout layout;
    layout.coding = coding;
    layout.bits = bits;
    layout.big_endian = big_endian;
    return layout;
}

// Digitrakker's bit stream of `size` bytes.
StoredLayout packed(int bits, std::int64_t size)
{
    StoredLayout layout = coded(StoredCoding::mdl_packed, bits);
    layout.packed_bytes = size;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredCodings,
    ::testing::Values(
        CodingCase{"signed 8-bit", coded(StoredCoding::signed_values, 8), {0x00, 0x7F, 0x80, 0xFF}, {0, 127, -128, -1}},
        CodingCase{"unsigned 8-bit", coded(StoredCoding::unsigned_values, 8), {0x80, 0xFF, 0x00}, {0, 127, -128}},
        CodingCase{"unsigned 16-bit LE", coded(StoredCoding::unsigned_values, 16), {0x00, 0x80, 0xFF, 0xFF, 0, 0},
                   {0, 32767, -32768}},
        CodingCase{"signed 16-bit BE", coded(StoredCoding::signed_values, 16, true), {0x12, 0x34, 0xFF, 0xFE},
                   {0x1234, -2}},
        CodingCase{"8-bit delta wraps", coded(StoredCoding::delta, 8), {0x7F, 0x01, 0xFF, 0x80}, {127, -128, 127, -1}},
        CodingCase{"16-bit delta wraps", coded(StoredCoding::delta, 16), {0xFF, 0x7F, 0x01, 0x00}, {32767, -32768}},
        CodingCase{"unsigned delta", coded(StoredCoding::unsigned_delta, 8), {0x80, 0x10, 0xF0}, {0, 16, 0}},
        CodingCase{"byte-wise delta of 16-bit words", coded(StoredCoding::byte_delta, 16), {0x01, 0x01, 0xFE, 0x00},
                   {0x0201, 0x0000}},
        CodingCase{"high halves of 32-bit BE words", coded(StoredCoding::high_half_of_32, 16, true),
                   {0x80, 0x00, 0xFF, 0xFF, 0x12, 0x34, 0x56, 0x78}, {-32768, 0x1234}},
        // Differences +3, -1, +20, -41; 26 of the 32 bits used.
        CodingCase{"Digitrakker 8-bit packed", packed(8, 4), {0x6E, 0x90, 0x23, 0x00}, {3, 2, 22, -19}},
        CodingCase{"Digitrakker 16-bit packed: plain low bytes", packed(16, 4), {0x34, 0xEE, 0x7F, 0x00}, {820, 767}},
        CodingCase{"a packed stream that ends inside a value: it and the rest are 0", packed(8, 1), {0x6E, 0x90}, {3, 0, 0}},
        // 8 + 16 x 16 wraps to 8: a run of zero bits is bounded by the stream only.
        CodingCase{"a long run of zero bits wraps", packed(8, 3), {0x00, 0x00, 0x04}, {8}}));

// Sums are carried from one block of decoding to the next.
TEST(StoredCodings, CarrySumsPastThousandsOfValues)
{
    const std::vector<std::uint8_t> ones(5000, 1);
    std::vector<std::int16_t> out(ones.size());
    decode_stored_values(coded(StoredCoding::unsigned_delta, 8), ones.data(), out.data(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], static_cast<std::int8_t>((i + 1) ^ 0x80)) << i;
}

}  // namespace
}  // namespace trk2inst::test
