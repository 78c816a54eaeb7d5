// One check for the tables of sample kinds of the "=A" formats: a slot's
// record, its source sample's WAV data, and the source in the "j" listing,
// from a file and a pipe alike.
#pragma once

#include <ostream>
#include <string>

#include "test_support.h"

namespace trk2inst::test {

struct SampleKindCase {
    const char* what;
    Bytes module;
    int slot;
    Bytes record;        // what "oN" writes
    Bytes wav_data;      // the data chunk "sN" writes
    std::string source;  // "j": the source object of the slot, or empty when it lists none
};

inline void PrintTo(const SampleKindCase& c, std::ostream* os)
{
    *os << c.what;
}

// The record of a slot: the header fields as given, then the data.
Bytes record_of(unsigned words, unsigned finetune, unsigned loop_start, unsigned loop_length, unsigned volume,
                unsigned note, const Bytes& data);

// "oN sN j" on the module, and "j" alone.
void expect_sample_kind(const SampleKindCase& c);

// The source object of "j" for a mono sample, and its loop, ends inclusive.
std::string mono_source(int bits, long frames, long rate, const std::string& loops = "[]", bool converted = true);
std::string loop_of(const char* kind, long start, long last);

// 16-bit values as little-endian bytes, and as WAV data.
Bytes words_le(std::initializer_list<int> values);

}  // namespace trk2inst::test
