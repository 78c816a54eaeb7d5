// A row of a reader's table of sample kinds: a module, a part of what "j"
// lists, and the data chunk that "s" writes of one slot, the same from a
// file and from a pipe.
#pragma once

#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {

struct SampleKind {
    const char* what;
    Bytes module;
    int slot;
    std::string listing;  // a part of "j"
    Bytes wav;            // the data chunk of "s"; empty: the slot has no data
};

inline void PrintTo(const SampleKind& c, std::ostream* os)
{
    *os << c.what;
}

inline void check_sample_kind(const SampleKind& c)
{
    std::vector<std::string> commands{"j"};
    if (!c.wav.empty())
        commands.push_back(numbered("s", c.slot));
    const RunResult result = run_both(commands, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string out = text_of(result.out);
    const std::string json = out.substr(0, out.find('\n') + 1);
    EXPECT_NE(json.find(c.listing), std::string::npos) << json;
    if (!c.wav.empty()) {
        const Bytes wav(result.out.begin() + static_cast<std::ptrdiff_t>(json.size()), result.out.end());
        EXPECT_EQ(riff_chunks(wav).back().second, c.wav);
    }
}

}  // namespace trk2inst::test
