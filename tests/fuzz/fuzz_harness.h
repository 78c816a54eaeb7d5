// Shared by the fuzz targets: module bytes as a stdio stream, a sink for the
// output, and the checks every loaded table must pass.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "driver/run_state.h"
#include "output/output.h"
#include "soundfont_reader.h"

namespace trk2inst::fuzz {

// The bytes as a seekable stream; fmemopen refuses an empty buffer, so an
// empty input reads from /dev/null.
inline std::unique_ptr<std::FILE, FileCloser> memory_stream(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = size == 0 ? std::fopen("/dev/null", "rb")
                                : fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr)
        std::abort();
    return std::unique_ptr<std::FILE, FileCloser>(file);
}

inline std::FILE* null_output()
{
    static std::FILE* sink = std::fopen("/dev/null", "wb");
    if (sink == nullptr)
        std::abort();
    return sink;
}

// Every sample the reader filled holds a length the record can carry; every
// slot has data behind every byte of it (unless no command of the run writes
// a record, when a reader may leave them without), and no sample past the
// slots has any. The list holds the slots and at most the most samples read.
inline void check_table(const SampleList& samples, bool record_data_needed = true)
{
    if (samples.size() < static_cast<std::size_t>(slot_count) ||
        samples.size() > static_cast<std::size_t>(sample_limit))
        std::abort();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const SampleSlot& slot = samples[i];
        if (slot.length < 0 || slot.length > max_slot_words)
            std::abort();
        if (i < static_cast<std::size_t>(slot_count) ? slot.length > 0 && slot.data == nullptr && record_data_needed
                                                     : slot.data != nullptr)
            std::abort();
    }
}

// A described source sample has frames within the input, loops within its
// frames and, when its values are kept, exactly its WAV data.
inline void check_sources(const RunState& state)
{
    for (const SampleSlot& slot : state.samples) {
        const SourceSample& source = slot.source;
        if (!source.present)
            continue;
        const SourceShape& shape = source.shape;
        if (shape.frames < 0 || shape.rate < 1 || (shape.bits != 8 && shape.bits != 16) ||
            (shape.channels != 1 && shape.channels != 2))
            std::abort();
        for (int i = 0; i < shape.loop_count; ++i) {
            const SourceLoop& loop = shape.loops[static_cast<std::size_t>(i)];
            if (loop.start < 0 || loop.end <= loop.start || loop.end > shape.frames)
                std::abort();
        }
        const auto bytes = static_cast<std::size_t>(shape.frames * shape.channels * shape.bits / 8);
        if (state.settings.source_need == SourceNeed::values && source.values == SourceValues::kept &&
            source.wav_data.size() != bytes)
            std::abort();
    }
}

// The instrument table stays within its bounds, whatever the headers say.
inline void check_instruments(const RunState& state)
{
    const auto& list = state.instruments.list;
    if (list.size() > static_cast<std::size_t>(instrument_limit))
        std::abort();
    for (const ModuleInstrument& instrument : list) {
        for (const KeyTarget& key : instrument.keys)
            if (key.sample > state.samples.size())
                std::abort();
        const VolumeEnvelope& envelope = instrument.volume;
        if (envelope.point_count < 0 || envelope.point_count > envelope_point_limit)
            std::abort();
        for (int k = 0; k < envelope.point_count; ++k) {
            const EnvelopePoint& point = envelope.points[static_cast<std::size_t>(k)];
            if (point.value > 64 || (k > 0 && point.tick < envelope.points[static_cast<std::size_t>(k - 1)].tick))
                std::abort();
        }
        for (const EnvelopeSpan span : {envelope.sustain, envelope.loop})
            if (span.first >= 0 && (span.last < span.first || span.last >= envelope.point_count))
                std::abort();
    }
}

// A folder of its own for "x" and "z", in $TMPDIR (else /tmp).
inline const std::string& extract_folder()
{
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string name = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") +
                           "/trk2inst-fuzz-x-XXXXXX";
        if (mkdtemp(name.data()) == nullptr)
            std::abort();
        return name;
    }();
    return path;
}

// "f-" into memory, read back by the tests' SoundFont reader: no bank that
// the program writes breaks a rule of the format.
inline void write_and_read_bank(RunState& state)
{
    char* data = nullptr;
    std::size_t size = 0;
    state.out = open_memstream(&data, &size);
    try {
        write_soundfont(state, "-");
    } catch (const FatalError&) {
        size = 0;  // too many zones: nothing written
    }
    std::fclose(state.out);
    state.out = null_output();
    const bool sound = size == 0 || test::read_soundfont(std::vector<std::uint8_t>(data, data + size)).faults.empty();
    std::free(data);
    if (!sound)
        std::abort();
}

// The listing, every record and every WAV file of both kinds, so that a short
// buffer shows as a read past its end under the address sanitizer.
inline void write_everything(RunState& state)
{
    state.out = null_output();
    state.err = null_output();
    print_module_info(state);
    print_module_json(state);
    const bool sources = state.settings.source_need == SourceNeed::values;  // as with "s" or "x"
    for (std::int64_t index = 0; index < slot_count; ++index)
        write_instrument(state, index);
    for (std::size_t index = 0; sources && index < state.samples.size(); ++index)
        write_source_wav(state, static_cast<std::int64_t>(index));
    if (sources && state.settings.instruments_needed) {
        write_and_read_bank(state);
        extract_instruments(state, extract_folder().c_str());
    }
    else if (sources)
        extract_samples(state, extract_folder().c_str());
}

}  // namespace trk2inst::fuzz
