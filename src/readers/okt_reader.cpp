// The Oktalyzer reader, for "=A": big-endian chunks after "OKTASONG". SAMP
// holds 36 sample headers; each sample with data has its own SBOD chunk,
// the i-th non-empty SBOD for the i-th such sample. Values are signed 8-bit
// (the "7-bit" modes hold smaller ones, kept as stored); no rate is stored.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "readers/module_chunks.h"
#include "readers/module_head.h"
#include "readers/readers.h"
#include "readers/stored_sample.h"

namespace trk2inst {

namespace {

constexpr std::int64_t chunks_start = 8;
constexpr int okt_samples = 36;
constexpr std::int64_t sample_header_size = 32;
constexpr std::size_t sample_name_size = 20;
constexpr int amiga_voices = 4;

struct OktSample {
    std::array<char, sample_name_size> name{};
    std::int64_t length = 0;  // bytes, even
    unsigned loop_start = 0;   // words
    unsigned loop_length = 0;  // words
    unsigned volume = 0;
};

OktSample read_sample_header(InputStream& input, std::int64_t offset)
{
    OktSample header;
    seek_to(input, offset);
    read_block(input, header.name.data(), header.name.size());
    header.length = read_u32be(input) & ~std::uint32_t{1};  // the body holds the even length
    header.loop_start = read_u16be(input);
    header.loop_length = read_u16be(input);
    header.volume = read_u16be(input);
    return header;
}

// 4 voices, each split into two channels when its word is not 0.
std::int32_t count_channels(InputStream& input, const ModuleChunk& cmod)
{
    seek_to(input, cmod.body);
    std::int32_t channels = amiga_voices;
    for (int voice = 0; voice < amiga_voices; ++voice)
        channels += read_u16be(input) != 0 ? 1 : 0;
    return channels;
}

// The next SBOD chunk that is not empty.
bool next_body(InputStream& input, ChunkWalk& walk, ModuleChunk& body)
{
    while (next_chunk(input, walk, body))
        if (body.is("SBOD") && body.size > 0)
            return true;
    return false;
}

}  // namespace

bool is_okt_module(const ModuleHead& head)
{
    return head.holds(0, "OKTASONG");
}

void read_okt_module(RunState& state)
{
    InputStream& input = state.input;
    ModuleSummary& summary = state.summary;
    std::memcpy(summary.format_tag.data(), "OKT ", 5);
    summary.no_expected_length = true;
    const std::int64_t size = input_size(input);
    const ChunkWalk start{chunks_start, size, 4, true};
    ModuleChunk chunk;
    summary.channels = find_chunk(input, start, "CMOD", chunk) ? count_channels(input, chunk) : amiga_voices;
    if (find_chunk(input, start, "SLEN", chunk)) {
        seek_to(input, chunk.body);
        summary.patterns = read_u16be(input);
    }
    ModuleChunk headers;
    if (!find_chunk(input, start, "SAMP", headers))
        return;
    const auto samples = static_cast<int>(std::min<std::int64_t>(okt_samples, headers.size / sample_header_size));
    ChunkWalk bodies = start;
    for (int i = 0; i < samples; ++i) {
        const OktSample header = read_sample_header(input, headers.body + i * sample_header_size);
        StoredSample sample;
        sample.name = std::string_view(header.name.data(), header.name.size());
        sample.volume = static_cast<std::uint8_t>(std::min(header.volume, 64u));
        sample.layout.coding = StoredCoding::signed_values;
        sample.loops = header.loop_length > 1;
        sample.loop_start = 2 * std::int64_t{header.loop_start};
        sample.loop_end = sample.loop_start + 2 * std::int64_t{header.loop_length};
        ModuleChunk body;
        if (header.length > 0) {
            // No body left: the values are missing, as past the end of the input.
            const bool found = next_body(input, bodies, body);
            sample.layout.offset = found ? body.body : size;
            sample.layout.frames = found ? std::min(header.length, body.size) : header.length;
        }
        store_sample(state, i + 1, sample);
    }
}

}  // namespace trk2inst
