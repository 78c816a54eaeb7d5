// DSMI AMF modules and their compact DMF variant.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// One sample header; the data are written in header order after the tracks.
struct AmfSample {
    std::uint8_t type = 1;
    std::string name;
    std::optional<std::uint32_t> index;   // default: its position, from 1
    std::optional<std::uint32_t> length;  // default: the data's size
    std::uint16_t rate = 8363;
    std::uint8_t volume = 64;
    std::uint32_t loop_start = 0;
    std::uint32_t loop_end = 0;
    Bytes data;
};

struct AmfSpec {
    std::string id = "AMF";  // or "DMF"
    std::uint8_t version = 14;
    std::uint8_t channels = 4;  // stored from version 9
    std::uint8_t orders = 1;
    // Version 10 with the 59-byte headers of earlier versions (M2AMF 1.3).
    bool short_headers = false;
    std::vector<std::uint16_t> track_map = {1, 1, 1, 1};
    std::vector<std::uint16_t> track_events = {2};  // of stored tracks 1, 2, ...
    std::vector<AmfSample> samples;
};

Bytes build_amf(const AmfSpec& layout);

}  // namespace trk2inst::build
