// Scream Tracker 3 modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// Scream Tracker 3 module: header, order list, instrument parapointers,
// instrument headers and sample data on 16-byte paragraphs.
struct S3mInstrument {
    std::uint8_t type = 1;
    std::string file_name;
    std::uint32_t length = 0;  // bytes
    std::uint32_t loop_begin = 0;
    std::uint32_t loop_end = 0;
    std::uint8_t volume = 64;
    std::uint8_t pack = 0;
    std::uint8_t flags = 0;
    std::uint32_t c2spd = 8363;
    std::string title;
    std::optional<Bytes> data;                    // default: filler of `length` bytes
    std::optional<std::uint16_t> parapointer;     // default: where the builder puts it
    std::optional<std::uint32_t> data_paragraph;  // default: where the builder puts it
};

struct S3mSpec {
    std::string title = "test module";
    std::uint16_t order_count = 2;
    std::uint16_t pattern_count = 1;
    std::uint16_t format_information = 2;
    std::string tag = "SCRM";
    std::optional<std::uint16_t> instrument_count;
    std::vector<S3mInstrument> instruments;
    // Packed rows of 64-row patterns; when there are any, the pattern count
    // is theirs.
    std::vector<Bytes> patterns;
};

Bytes build_s3m(const S3mSpec& layout);
Bytes s3m_sample_data(const S3mInstrument& instrument);

}  // namespace trk2inst::build
