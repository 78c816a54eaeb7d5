// The tables of sample kinds of the "=A" formats: a slot's record ("oN"), its
// source sample's WAV data ("sN") and its source in "j", from a file and a
// pipe alike; "j" alone, which decodes no record, lists the same.
#pragma once

#include <gtest/gtest.h>

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
    std::string source;  // "j": the slot's source object, or empty when it lists none
};

inline void PrintTo(const SampleKindCase& c, std::ostream* os)
{
    *os << c.what;
}

// Each format's table instantiates it.
class SampleKinds : public ::testing::TestWithParam<SampleKindCase> {};

// The source object of a mono sample, and a loop of it, its end inclusive.
std::string mono_source(int bits, long frames, long rate, const std::string& loops = "[]", bool converted = true);
std::string loop_of(const char* kind, long start, long last);
Bytes words_le(std::initializer_list<int> values);

}  // namespace trk2inst::test
