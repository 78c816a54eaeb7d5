// "j": the listing as JSON, read against the record it describes.
#include <gtest/gtest.h>

#include "test_support.h"

namespace trk2inst::test {
namespace {

struct RecordFieldCase {
    const char* what;
    const char* form;
    Bytes module;
};

void PrintTo(const RecordFieldCase& c, std::ostream* os)
{
    *os << c.what << " (" << c.form << ")";
}

// A Scream Tracker 3 sample whose loop ends before it begins: its loop length
// is negative until the record takes the low 16 bits.
Bytes s3m_loop_backwards()
{
    build::S3mInstrument instrument;
    instrument.file_name = "BACKWARDS";
    instrument.length = 2000;
    instrument.loop_begin = 1000;
    instrument.loop_end = 600;
    instrument.flags = 0x01;
    build::S3mSpec layout;
    layout.instruments = {instrument};
    return build::build_s3m(layout);
}

// An Extended Module loop that starts 65,536 words in, past a short sample.
Bytes xm_loop_past_16_bits()
{
    build::XmSample sample;
    sample.name = "far loop";
    sample.length = 16;
    sample.loop_start = 0x20000;
    sample.loop_length = 4;
    sample.type = 0x01;
    build::XmSpec layout;
    layout.instruments = {{"instrument", std::nullopt, std::nullopt, 40, {sample}}};
    return build::build_xm(layout);
}

unsigned u16be_at(const Bytes& bytes, std::size_t at)
{
    return unsigned{bytes[at]} << 8 | bytes[at + 1];
}

class RecordFields : public ::testing::TestWithParam<RecordFieldCase> {};

TEST_P(RecordFields, AreTheNumbersTheRecordHolds)
{
    const RecordFieldCase& c = GetParam();
    const TempFile file(c.module);
    const RunResult result = run_in_process({c.form, file.path(), "o1", "j"});
    ASSERT_EQ(result.status, 0) << result.err;
    const Bytes& out = result.out;
    ASSERT_GE(out.size(), 11u);
    const std::size_t record_size = 11 + 2 * u16be_at(out, 1);
    ASSERT_GT(out.size(), record_size);
    const std::string json = text_of(Bytes(out.begin() + static_cast<std::ptrdiff_t>(record_size), out.end()));
    const std::string fields = "\"length\": " + std::to_string(u16be_at(out, 1)) +
                               ", \"loop_start\": " + std::to_string(u16be_at(out, 4)) +
                               ", \"loop_length\": " + std::to_string(u16be_at(out, 6)) + ",";
    EXPECT_NE(json.find(fields), std::string::npos) << fields << "\n" << json;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordFields,
    ::testing::Values(RecordFieldCase{"S3M loop end before its begin", "=S", s3m_loop_backwards()},
                      RecordFieldCase{"S3M loop end before its begin", "=A", s3m_loop_backwards()},
                      RecordFieldCase{"XM loop start past 16 bits", "=M", xm_loop_past_16_bits()}));

}  // namespace
}  // namespace trk2inst::test
