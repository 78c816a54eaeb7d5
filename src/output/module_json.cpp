// The "j" command: what the listing shows, and each sample's source, as one
// JSON object on one line. Text from the module is escaped byte by byte, so
// the output is valid UTF-8 whatever the module holds.
#include <string>

#include "output/output.h"
#include "output/sampler_instrument.h"
#include "readers/source_sample.h"

namespace trk2inst {

namespace {

std::string json_string(const char* text)
{
    std::string quoted(1, '"');
    quoted += json_escaped(text);
    quoted += '"';
    return quoted;
}

const char* compression_name(SourceCompression compression)
{
    switch (compression) {
    case SourceCompression::it214:
        return "\"it2.14\"";
    case SourceCompression::it215:
        return "\"it2.15\"";
    case SourceCompression::adpcm:
        return "\"adpcm\"";
    case SourceCompression::mdl:
        return "\"mdl\"";
    case SourceCompression::none:
        break;
    }
    return "null";
}

void print_source(std::FILE* out, const SourceShape& source)
{
    std::fprintf(out, "\"source\": {\"bits\": %d, \"channels\": %d, \"frames\": %lld, \"rate\": %u, \"loops\": [",
                 source.bits, source.channels, static_cast<long long>(source.frames), source.rate);
    for (int i = 0; i < source.loop_count; ++i) {
        const SourceLoop& loop = source.loops[static_cast<std::size_t>(i)];
        std::fprintf(out, "%s{\"kind\": \"%s\", \"sustain\": %s, \"start\": %lld, \"end\": %lld}",
                     i > 0 ? ", " : "", loop.ping_pong ? "ping-pong" : "forward",
                     loop.sustain ? "true" : "false", static_cast<long long>(loop.start),
                     static_cast<long long>(loop.end - 1));
    }
    std::fprintf(out, "], \"compression\": %s, \"converted\": %s}", compression_name(source.compression),
                 source.converted ? "true" : "false");
}

// A field as the record's 16 bits hold it: loop lengths go negative and
// lengths past 16 bits before the record takes their low bits.
unsigned record_field(std::int32_t value)
{
    return static_cast<unsigned>(value) & 0xFFFFu;
}

void print_sample(std::FILE* out, const RunState& state, std::size_t index)
{
    const SampleSlot& slot = state.samples[index];
    const auto pitch = note_and_finetune(slot.note, slot.finetune);
    const char pitch_text[] = {pitch[0], pitch[1], pitch[2], pitch[3], pitch[4], '\0'};
    std::fprintf(out,
                 "{\"slot\": %zu, \"name\": %s, \"length\": %u, \"loop_start\": %u, \"loop_length\": %u, "
                 "\"volume\": %u, \"note\": %d, \"finetune\": %u, \"pitch\": %s, ",
                 index + 1, json_string(slot.name.data()).c_str(), record_field(slot.length),
                 record_field(slot.loop_start), record_field(slot.loop_length), unsigned{slot.volume},
                 int{slot.note}, unsigned{slot.finetune}, json_string(pitch_text).c_str());
    print_source(out, source_shape(state, index));
    std::fputc('}', out);
}

void print_span(std::FILE* out, const char* key, EnvelopeSpan span)
{
    if (span.first < 0)
        std::fprintf(out, "\"%s\": null", key);
    else
        std::fprintf(out, "\"%s\": [%d, %d]", key, span.first, span.last);
}

void print_volume_envelope(std::FILE* out, const VolumeEnvelope* envelope)
{
    if (envelope == nullptr) {
        std::fputs("null", out);
        return;
    }
    std::fputs("{\"points\": [", out);
    for (int k = 0; k < envelope->point_count; ++k) {
        const EnvelopePoint& point = envelope->points[static_cast<std::size_t>(k)];
        std::fprintf(out, "%s[%u, %u]", k > 0 ? ", " : "", unsigned{point.tick}, unsigned{point.value});
    }
    std::fputs("], ", out);
    print_span(out, "sustain", envelope->sustain);
    std::fputs(", ", out);
    print_span(out, "loop", envelope->loop);
    std::fputc('}', out);
}

void print_region(std::FILE* out, const SamplerRegion& region)
{
    std::fprintf(out, "{\"lokey\": %d, \"hikey\": %d, \"slot\": %d, \"transpose\": %d, \"tune\": %d, "
                      "\"volume_db\": %s, \"pan\": %s}",
                 region.lokey, region.hikey, region.sample, region.transpose, region.tune,
                 decimal(region.volume_db).c_str(), region.pan ? decimal(*region.pan).c_str() : "null");
}

void print_instrument(std::FILE* out, const SamplerInstrument& instrument)
{
    std::fprintf(out, "{\"number\": %d, \"name\": %s, \"slots\": [", instrument.number,
                 json_string(instrument.name.c_str()).c_str());
    for (std::size_t i = 0; i < instrument.samples.size(); ++i)
        std::fprintf(out, "%s%d", i > 0 ? ", " : "", instrument.samples[i]);
    std::fprintf(out, "], \"tick_seconds\": %s, \"regions\": [", decimal(instrument.tick_seconds).c_str());
    for (std::size_t i = 0; i < instrument.regions.size(); ++i) {
        if (i > 0)
            std::fputs(", ", out);
        print_region(out, instrument.regions[i]);
    }
    std::fputs("], \"volume_envelope\": ", out);
    print_volume_envelope(out, instrument.volume_envelope);
    if (instrument.fadeout)
        std::fprintf(out, ", \"fadeout\": %u", *instrument.fadeout);
    else
        std::fputs(", \"fadeout\": null", out);
    std::fprintf(out, ", \"release_seconds\": %s}", decimal(instrument.release_seconds).c_str());
}

}  // namespace

std::string json_escaped(const char* text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte <= 0x7E) {
            out += static_cast<char>(byte);
        } else {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

void print_module_json(RunState& state)
{
    std::FILE* out = state.out;
    std::fprintf(out, "{\"format\": %s, \"channels\": %d, \"patterns\": %d, \"expected_length\": ",
                 json_string(state.summary.format_tag.data()).c_str(), state.summary.channels,
                 state.summary.patterns);
    if (state.summary.no_expected_length)
        std::fputs("null", out);
    else
        std::fprintf(out, "%lld", static_cast<long long>(expected_file_length(state)));
    std::fputs(", \"samples\": [", out);
    bool first = true;
    for (std::size_t i = 0; i < state.samples.size(); ++i) {
        if (state.samples[i].length == 0)
            continue;
        if (!first)
            std::fputs(", ", out);
        first = false;
        print_sample(out, state, i);
    }
    std::fputs("], \"instruments\": [", out);
    first = true;
    for (const SamplerInstrument& instrument : sampler_instruments(state)) {
        if (!first)
            std::fputs(", ", out);
        first = false;
        print_instrument(out, instrument);
    }
    std::fputs("]}\n", out);
}

}  // namespace trk2inst
