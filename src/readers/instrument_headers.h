// The instrument headers of Extended Modules and Impulse Tracker modules, as
// bytes already read: key tables, volume envelopes, fadeout, volume and pan.
// Pure functions, so that hostile values are clamped in one place.
#pragma once

#include <cstdint>
#include <span>

#include "driver/run_state.h"

namespace trk2inst {

// An XM instrument header as far as it is read: the first 263 bytes, zeros
// past what the file holds.
inline constexpr std::size_t xm_instrument_header_size = 263;
// Every IT instrument header, old layout or new.
inline constexpr std::size_t it_instrument_header_size = 554;

// An XM instrument with samples, whose header is `size` bytes long (a field
// not wholly inside reads as 0). Its samples are the `stored` samples after
// the first_sample samples before it; key entry n is MIDI key n + 12.
void parse_xm_instrument(std::span<const std::uint8_t, xm_instrument_header_size> header,
                         std::uint32_t size, int first_sample, int stored, ModuleInstrument& out);

// An IT instrument header of either layout; samples above sample_count (the
// module's samples as read) play nothing. A header without "IMPI" leaves an instrument with no keys.
void parse_it_instrument(std::span<const std::uint8_t, it_instrument_header_size> header,
                         bool old_layout, int sample_count, ModuleInstrument& out);

// An Imago Orpheus instrument header: its name, key map and fadeout (its
// envelopes are not read, so it takes an Extended Module's rules). Its
// samples are the `stored` samples after the first_sample samples before it;
// those above last_sample (the samples read) play nothing. Key entry k is
// MIDI key k + 12; entries past 107 are not used.
inline constexpr std::size_t imf_instrument_header_size = 384;
void parse_imf_instrument(std::span<const std::uint8_t, imf_instrument_header_size> header, int first_sample,
                          int stored, int last_sample, ModuleInstrument& out);

}  // namespace trk2inst
