#include "sample_kind_check.h"

namespace trk2inst::test {

std::string loop_of(const char* kind, long start, long last)
{
    return std::string(R"([{"kind": ")") + kind + R"(", "sustain": false, "start": )" + std::to_string(start) +
           ", \"end\": " + std::to_string(last) + "}]";
}

std::string mono_source(int bits, long frames, long rate, const std::string& loops, bool converted)
{
    return R"({"bits": )" + std::to_string(bits) + R"(, "channels": 1, "frames": )" + std::to_string(frames) +
           R"(, "rate": )" + std::to_string(rate) + R"(, "loops": )" + loops +
           R"(, "compression": null, "converted": )" + (converted ? "true" : "false") + "}";
}

Bytes words_le(std::initializer_list<int> values)
{
    Bytes out;
    for (int value : values)
        build::put_u16le(out, static_cast<std::uint16_t>(value));
    return out;
}

TEST_P(SampleKinds, GiveTheRecordTheSourceAndTheListing)
{
    const SampleKindCase& c = GetParam();
    const std::string slot = std::to_string(c.slot);
    const RunResult result = run_both({"o" + slot, "s" + slot, "j"}, c.module);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    ASSERT_GE(result.out.size(), c.record.size() + 8);
    const auto record_end = result.out.begin() + static_cast<std::ptrdiff_t>(c.record.size());
    EXPECT_EQ(Bytes(result.out.begin(), record_end), c.record);
    const auto wav_end = record_end + 8 + static_cast<std::ptrdiff_t>(u32le(result.out, c.record.size() + 4));
    ASSERT_LE(wav_end, result.out.end());
    Bytes data;
    for (auto& [tag, payload] : riff_chunks(Bytes(record_end, wav_end)))
        data = tag == "data" ? payload : data;
    const std::string json = text_of(Bytes(wav_end, result.out.end()));
    const std::size_t entry = json.find("{\"slot\": " + slot + ",");
    if (c.source.empty()) {
        EXPECT_EQ(entry, std::string::npos) << json;
    } else {
        EXPECT_EQ(data, c.wav_data);
        EXPECT_NE(json.find("\"source\": " + c.source, entry), std::string::npos) << json;
    }
    EXPECT_EQ(text_of(run_both({"j"}, c.module).out), json);
}

}  // namespace trk2inst::test
