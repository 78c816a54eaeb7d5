// DigiBooster Pro modules.
#pragma once

#include "builder_bytes.h"

namespace trk2inst::build {

// An INST record: the settings of the sample it plays.
struct DbmInstrument {
    std::string name;
    std::uint16_t sample = 1;
    std::uint16_t volume = 64;
    std::uint32_t rate = 8363;
    std::uint32_t loop_start = 0;   // frames
    std::uint32_t loop_length = 0;  // frames
    std::int16_t pan = 0;
    std::uint16_t flags = 0;  // 1 loop, 2 ping-pong
};

// A sample of SMPL: flags 1, 2 or 4 (8, 16 or 32-bit big-endian values).
struct DbmSample {
    std::uint32_t flags = 1;
    std::uint32_t frames = 0;
    Bytes data;  // as stored
};

// "DBM0" and the version, then NAME, INFO, INST, PATT and SMPL chunks (or
// MPEG in place of SMPL). INFO counts what is given unless told otherwise.
struct DbmSpec {
    std::uint8_t version = 2;
    std::uint16_t channels = 4;
    std::uint16_t patterns = 1;
    std::vector<DbmInstrument> instruments;
    std::vector<DbmSample> samples;
    std::optional<std::uint16_t> info_instruments;
    std::optional<std::uint16_t> info_samples;
    std::optional<std::uint32_t> smpl_size;  // the SMPL chunk's stored length
    bool mpeg = false;
};

Bytes build_dbm(const DbmSpec& layout);

}  // namespace trk2inst::build
