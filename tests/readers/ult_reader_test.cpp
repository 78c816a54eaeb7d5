// UltraTracker modules under "=A": signed 8- and 16-bit samples back to back
// after the tracks, whose walk finds them.
#include "sample_kind_check.h"

namespace trk2inst::test {
namespace {

using build::UltSample;
using build::ult_event;

Bytes ult_of(UltSample sample, char version = '4', std::optional<Bytes> tracks = {})
{
    return build::build_ult({.version = version, .message_lines = 2, .channels = 2, .patterns = 2,
                             .tracks = std::move(tracks), .samples = {UltSample{}, std::move(sample)}});
}

UltSample ult_sample(std::uint32_t frames, std::uint8_t flags, std::uint32_t loop_start, std::uint32_t loop_end,
                     Bytes data)
{
    return {"a name padded with spaces       ", loop_start, loop_end, 1000, 1000 + frames, 128, flags, 16726, 0,
            std::move(data)};
}

// Two tracks of two patterns: a count of 0 covers one row, a run past the
// pattern's end ends there (the second pattern), single rows are 5 bytes.
Bytes walked_tracks()
{
    Bytes tracks;
    for (int channel = 0; channel < 2; ++channel)
        for (int rows : {0, 62, 1, 100})
            build::append(tracks, ult_event(rows));
    return tracks;
}

// Volume 128 of 255 is 32 of 64; C2Spd 16,726 an octave up. 8363 Hz moved
// by a finetune of 16,384 / 32,768 semitone is 8,608 Hz: finetune 64/128.
INSTANTIATE_TEST_SUITE_P(
    Ult, SampleKinds,
    ::testing::Values(
        SampleKindCase{"signed 8-bit, a loop in frames", ult_of(ult_sample(6, 0x88, 2, 6, {1, 2, 3, 4, 5, 6})), 2,
                       slot_record(3, 0, 1, 2, 32, 12, {1, 2, 3, 4, 5, 6}), {0x81, 0x82, 0x83, 0x84, 0x85, 0x86},
                       mono_source(8, 6, 16726, loop_of("forward", 2, 5), false)},
        SampleKindCase{"signed 16-bit, a ping-pong loop in bytes",
                       ult_of(ult_sample(3, 0x1C, 2, 6, words_le({512, -512, 1000}))), 2,
                       slot_record(2, 0, 0, 1, 32, 12, {2, 0xFE, 4, 0}), words_le({512, -512, 1000}),
                       mono_source(16, 3, 16726, loop_of("ping-pong", 1, 2))},
        SampleKindCase{"version 3: 64-byte headers, a finetune",
                       [] { UltSample s = ult_sample(2, 0, 0, 0, {7, 8}); s.finetune = 16384;
                            return ult_of(s, '3'); }(), 2,
                       slot_record(1, 0x04, 0, 1, 32, 0, {7, 8}), {0x87, 0x88}, mono_source(8, 2, 8608, "[]", false)},
        SampleKindCase{"tracks walked row by row", ult_of(ult_sample(2, 0, 0, 0, {7, 8}), '1', walked_tracks()), 2,
                       slot_record(1, 0, 0, 1, 32, 0, {7, 8}), {0x87, 0x88}, mono_source(8, 2, 8363, "[]", false)}));

}  // namespace
}  // namespace trk2inst::test
