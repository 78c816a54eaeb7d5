// The recognition rule of the ProTracker family: the tag table, the test of
// the tag's text and the checks that a 15-sample module passes.
#include "readers/protracker_format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace trk2inst {

namespace {

bool is_digit(char c, char lowest)
{
    return c >= lowest && c <= '9';
}

bool tag_is(const char* tag, const char* text)
{
    return std::memcmp(tag, text, 4) == 0;
}

// ProTracker's own tags, in every form.
std::optional<ProTrackerTag> own_tag(const char* c, bool wow_mode)
{
    if (tag_is(c, "M.K."))
        return wow_mode ? ProTrackerTag{8, true, 0, false} : ProTrackerTag{4};
    if (tag_is(c, "M!K!") || tag_is(c, "M&K!"))
        return ProTrackerTag{4};
    if (std::memcmp(c, "FLT", 3) == 0)  // the fourth character is not examined
        return ProTrackerTag{4, false, 0, c[3] == '8'};
    if (tag_is(c, "CD81") || tag_is(c, "OCTA") || tag_is(c, "OKTA"))
        return ProTrackerTag{8};
    if (std::memcmp(c, "TDZ", 3) == 0 && is_digit(c[3], '1'))
        return ProTrackerTag{c[3] - '0'};
    if (is_digit(c[0], '1') && std::memcmp(c + 1, "CHN", 3) == 0)
        return ProTrackerTag{c[0] - '0'};
    if (is_digit(c[0], '1') && is_digit(c[1], '0') &&
        (std::memcmp(c + 2, "CH", 2) == 0 || std::memcmp(c + 2, "CN", 2) == 0))
        return ProTrackerTag{(c[0] - '0') * 10 + (c[1] - '0')};
    return std::nullopt;
}

// Other trackers' tags on the same layout, for "=A".
std::optional<ProTrackerTag> other_tag(const char* c)
{
    for (const char* four : {"N.T.", "FEST", "NSMS", "LARD", "PATT"})
        if (tag_is(c, four))
            return ProTrackerTag{4};
    if (tag_is(c, "CD61"))
        return ProTrackerTag{6};
    if (tag_is(c, "WARD"))
        return ProTrackerTag{8};
    if (std::memcmp(c, "FA0", 3) == 0 && c[3] >= '4' && c[3] <= '8')
        return ProTrackerTag{c[3] - '0', false, 4, false};
    if (std::memcmp(c, "EXO", 3) == 0)  // as "FLT"
        return ProTrackerTag{4, false, 0, c[3] == '8'};
    return std::nullopt;
}

// The 36 periods of octaves 1 to 3, highest first.
constexpr std::array<int, 36> amiga_periods{
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
    302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

bool near_amiga_period(int period)
{
    return std::any_of(amiga_periods.begin(), amiga_periods.end(),
                       [period](int amiga) { return std::abs(period - amiga) <= 1; });
}

// Neither 0 nor 0x20 to 0x7F.
int odd_bytes(const std::uint8_t* text, std::size_t size)
{
    return static_cast<int>(std::count_if(text, text + size, [](std::uint8_t byte) {
        return byte != 0 && (byte < 0x20 || byte > 0x7F);
    }));
}

unsigned u16be(const std::uint8_t* bytes)
{
    return unsigned{bytes[0]} << 8 | bytes[1];
}

}  // namespace

std::optional<ProTrackerTag> recognise_protracker_tag(const char* tag, bool wow_mode, bool any_module)
{
    if (auto known = own_tag(tag, wow_mode))
        return known;
    return any_module ? other_tag(tag) : std::nullopt;
}

bool tag_is_text(const char* tag)
{
    return std::all_of(tag, tag + 4, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
}

SoundtrackerHeader parse_soundtracker_header(const std::uint8_t* bytes)
{
    SoundtrackerHeader header;
    std::copy_n(bytes, header.title.size(), header.title.begin());
    for (int i = 0; i < soundtracker_samples; ++i) {
        const std::uint8_t* at = bytes + 20 + 30 * i;
        SoundtrackerSample& sample = header.samples[static_cast<std::size_t>(i)];
        std::copy_n(at, sample.name.size(), reinterpret_cast<std::uint8_t*>(sample.name.data()));
        sample.length = static_cast<std::uint16_t>(u16be(at + 22));
        sample.finetune = at[24];
        sample.volume = at[25];
        sample.loop_start = static_cast<std::uint16_t>(u16be(at + 26));
        sample.loop_length = static_cast<std::uint16_t>(u16be(at + 28));
    }
    header.song_length = bytes[470];
    // byte 471: a tempo, not read
    std::copy_n(bytes + 472, header.orders.size(), header.orders.begin());
    return header;
}

int soundtracker_pattern_score(const std::uint8_t* pattern)
{
    int score = 0;
    for (int cell = 0; cell < 256; ++cell) {
        const std::uint8_t* at = pattern + 4 * cell;
        if (at[0] >= 0x10)
            score += 1;
        const int period = (at[0] & 0x0F) << 8 | at[1];
        if (period != 0 && !near_amiga_period(period))
            score += 2;
    }
    return score;
}

bool plausible_soundtracker_module(const SoundtrackerHeader& header, const std::uint8_t* first_pattern)
{
    const int title_odd = odd_bytes(header.title.data(), header.title.size());
    int names_odd = title_odd;
    long total_length = 0;
    bool some_volume = false;
    for (const SoundtrackerSample& sample : header.samples) {
        names_odd += odd_bytes(reinterpret_cast<const std::uint8_t*>(sample.name.data()), sample.name.size());
        if (sample.volume > 64 || sample.finetune > 15 || sample.length > 32768)
            return false;
        total_length += sample.length;
        some_volume = some_volume || sample.volume != 0;
    }
    const bool orders_in_range =
        std::all_of(header.orders.begin(), header.orders.end(), [](std::uint8_t entry) { return entry <= 63; });
    return title_odd <= 5 && names_odd <= 48 && total_length >= 4 && some_volume &&
           header.song_length >= 1 && header.song_length <= 128 && orders_in_range &&
           soundtracker_pattern_score(first_pattern) <= 16;
}

bool may_be_wow_module(ProTrackerHead head)
{
    if (!tag_is(reinterpret_cast<const char*>(head.data()) + 1080, "M.K.") || head[951] != 0)
        return false;  // 951: the restart byte
    for (int i = 0; i < 31; ++i) {
        const std::uint8_t* sample = head.data() + 20 + 30 * i;
        if (u16be(sample + 22) > 0 && (sample[24] != 0 || sample[25] != 64))
            return false;  // the length in words, then finetune and volume
    }
    return true;
}

bool fills_wow_size(ProTrackerHead head, std::int64_t file_size)
{
    const std::int64_t patterns = *std::max_element(head.begin() + 952, head.begin() + 1080) + 1;
    std::int64_t size = protracker_header_size + 2048 * patterns;
    for (int i = 0; i < 31; ++i)
        size += 2 * std::int64_t{u16be(head.data() + 20 + 30 * i + 22)};
    return (file_size & ~std::int64_t{1}) == size;
}

int highest_song_pattern(const SoundtrackerHeader& header)
{
    const auto song_end = header.orders.begin() + std::min<int>(header.song_length, 128);
    return *std::max_element(header.orders.begin(), std::max(song_end, header.orders.begin() + 1));
}

int highest_pattern(const SoundtrackerHeader& header)
{
    return *std::max_element(header.orders.begin(), header.orders.end());
}

bool looks_like_sample_data(const std::uint8_t* block)
{
    int high = 0;
    for (int cell = 0; cell < 256; ++cell)
        high += block[4 * cell] >= 0x20 ? 1 : 0;
    return high > 64;
}

}  // namespace trk2inst
