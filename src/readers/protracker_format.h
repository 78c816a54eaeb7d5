// What tells a ProTracker-family module from other input: the format tag of
// a 31-sample module, or, for the 15-sample Soundtracker module that has no
// tag, the checks its header and first pattern must pass. Pure functions of
// the bytes, so that the recognition rule is in one place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace trk2inst {

struct ProTrackerTag {
    std::int32_t channels = 0;
    bool becomes_wow = false;           // "M.K." in WOW mode
    std::int64_t bytes_after_tag = 0;   // "FA0x": four bytes follow the tag
    bool paired_patterns = false;       // "FLT8", "EXO8": 8-channel patterns stored as two 4-channel ones
};

// The tag at offset 1080 (four characters): ProTracker's table, and under "=A"
// (any_module) the tags of other trackers of the family too.
std::optional<ProTrackerTag> recognise_protracker_tag(const char* tag, bool wow_mode, bool any_module);

// All four bytes printable (0x20 to 0x7E): the tag of a 31-sample module, known or not.
bool tag_is_text(const char* tag);

// The header of a 31-sample module: title, sample headers, song length,
// restart byte, orders and tag.
inline constexpr std::int64_t protracker_header_size = 1084;
using ProTrackerHead = std::span<const std::uint8_t, protracker_header_size>;

// Mod's Grave converts 669 modules to 8-channel modules tagged "M.K.": its
// restart byte is 0, and every sample with data has finetune 0 and volume 64.
bool may_be_wow_module(ProTrackerHead head);
// And the file is exactly as long as 8-channel patterns and the samples
// make it (an odd last byte aside).
bool fills_wow_size(ProTrackerHead head, std::int64_t file_size);

// The 15-sample module.
inline constexpr std::int64_t soundtracker_header_size = 600;
inline constexpr std::int64_t soundtracker_pattern_size = 1024;
inline constexpr int soundtracker_samples = 15;

struct SoundtrackerSample {
    std::array<char, 22> name{};
    std::uint16_t length = 0;       // words
    std::uint8_t finetune = 0;
    std::uint8_t volume = 0;
    std::uint16_t loop_start = 0;   // bytes, unlike ProTracker's words
    std::uint16_t loop_length = 0;  // words
};

struct SoundtrackerHeader {
    std::array<std::uint8_t, 20> title{};
    std::array<SoundtrackerSample, soundtracker_samples> samples{};
    std::uint8_t song_length = 0;
    std::array<std::uint8_t, 128> orders{};
};

// The first 600 bytes of a 15-sample module.
SoundtrackerHeader parse_soundtracker_header(const std::uint8_t* bytes);

// The checks on the header and the first pattern (1,024 bytes): text where
// names are, values in their ranges, at least one sample, a song, and a
// first pattern of notes that Amiga periods give.
bool plausible_soundtracker_module(const SoundtrackerHeader& header, const std::uint8_t* first_pattern);

// How a first pattern fares: 1 for each cell naming a sample above 15, 2 for
// each non-zero period that is not within 1 of an Amiga period.
int soundtracker_pattern_score(const std::uint8_t* pattern);

// The highest order entry within the song, and of all 128.
int highest_song_pattern(const SoundtrackerHeader& header);
int highest_pattern(const SoundtrackerHeader& header);

// Whether the 1,024 bytes after the song's own patterns are sample data, not
// a pattern: more than 64 of the 256 cells begin with a byte of 0x20 or more.
bool looks_like_sample_data(const std::uint8_t* block);

}  // namespace trk2inst
