// The module input: byte, block and skip reads over a stdio stream that may be
// a seekable file or a pipe. Everything past the end of the input reads as zeros,
// so counts assembled from a cut-off module stay bounded by what the formats allow.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/run_state.h"

namespace trk2inst {

namespace {

constexpr std::int64_t recent_count = std::tuple_size_v<decltype(InputStream::recent)>;

std::size_t recent_index(std::int64_t position)
{
    return static_cast<std::size_t>(static_cast<std::uint64_t>(position) % recent_count);
}

// On a file a read may start past its end, after a seek there: the end is
// then the file's length, not where the read began.
void note_end(InputStream& input, std::int64_t offset)
{
    if (input.end >= 0)
        return;
    input.end = input.seekable ? std::min(offset, input_size(input)) : offset;
}

// Only a rewind on an input that cannot seek goes back over the recent bytes.
bool keeps_recent(const InputStream& input)
{
    return input.may_rewind && !input.seekable;
}

// Keeps the last of the bytes just read at [position, position + size): at
// most two copies, the ring's tail and then its front.
void remember(InputStream& input, std::int64_t position, const unsigned char* bytes, std::size_t size)
{
    const std::size_t kept = std::min(size, static_cast<std::size_t>(recent_count));
    if (kept == 0 || !keeps_recent(input))
        return;  // an empty read may come with no buffer at all
    const unsigned char* from = bytes + (size - kept);
    const std::size_t at = recent_index(position + static_cast<std::int64_t>(size - kept));
    const std::size_t first = std::min(kept, input.recent.size() - at);
    std::memcpy(input.recent.data() + at, from, first);
    std::memcpy(input.recent.data(), from + first, kept - first);
}

// A byte read again after a rewind; past the end of the input it is zero.
std::uint8_t replayed(const InputStream& input, std::int64_t position)
{
    return input.end >= 0 && position >= input.end ? 0 : input.recent[recent_index(position)];
}

// Serves the front of a read from the bytes read before a rewind; returns how
// many it served.
std::size_t read_replayed(InputStream& input, unsigned char* destination, std::size_t size)
{
    if (input.position >= input.replay_until)
        return 0;
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(size), input.replay_until - input.position));
    for (std::size_t i = 0; i < count; ++i)
        destination[i] = replayed(input, input.position + static_cast<std::int64_t>(i));
    return count;
}

// Reads and drops up to count bytes in blocks; stops early at the end of the input.
void discard_forward(InputStream& input, std::int64_t count)
{
    static std::array<unsigned char, 64 * 1024> scratch;
    std::int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(count - done, static_cast<std::int64_t>(scratch.size())));
        const std::size_t got = std::fread(scratch.data(), 1, want, input.file);
        remember(input, input.position + done, scratch.data(), got);
        done += static_cast<std::int64_t>(got);
        if (got < want) {
            note_end(input, input.position + done);
            break;
        }
    }
}

// An unnamed file in $TMPDIR, else /tmp; glibc's tmpfile() ignores TMPDIR.
std::FILE* unnamed_temporary_file()
{
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable != nullptr && variable[0] != '\0' ? variable : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a named one, unlinked at once.
        std::string name = folder + "/trk2inst-XXXXXX";
        fd = ::mkstemp(name.data());
        if (fd >= 0)
            ::unlink(name.c_str());
    }
    if (fd < 0)
        return nullptr;
    std::FILE* file = ::fdopen(fd, "w+b");
    if (file == nullptr)
        ::close(fd);
    return file;
}

}  // namespace

std::uint8_t read_u8(InputStream& input)
{
    std::uint8_t byte = 0;
    if (input.position < input.replay_until) {
        byte = replayed(input, input.position);
    } else {
        const int c = std::getc(input.file);
        if (c == EOF)
            note_end(input, input.position);
        else
            byte = static_cast<std::uint8_t>(c);
        if (keeps_recent(input))
            input.recent[recent_index(input.position)] = byte;
    }
    ++input.position;
    return byte;
}

std::uint16_t read_u16le(InputStream& input)
{
    const unsigned low = read_u8(input);
    const unsigned high = read_u8(input);
    return static_cast<std::uint16_t>(low | high << 8);
}

std::uint16_t read_u16be(InputStream& input)
{
    const unsigned high = read_u8(input);
    const unsigned low = read_u8(input);
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint32_t read_u32le(InputStream& input)
{
    const std::uint32_t low = read_u16le(input);
    const std::uint32_t high = read_u16le(input);
    return low | high << 16;
}

std::uint32_t read_u32be(InputStream& input)
{
    const std::uint32_t high = read_u16be(input);
    const std::uint32_t low = read_u16be(input);
    return high << 16 | low;
}

std::size_t read_block(InputStream& input, void* destination, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(destination);
    const std::size_t from_replay = read_replayed(input, bytes, size);
    std::size_t got = from_replay;
    if (input.end >= 0)
        got = static_cast<std::size_t>(std::clamp<std::int64_t>(input.end - input.position, 0,
                                                                static_cast<std::int64_t>(from_replay)));
    const std::int64_t fresh_at = input.position + static_cast<std::int64_t>(from_replay);
    const std::size_t wanted = size - from_replay;
    const std::size_t fresh = wanted == 0 ? 0 : std::fread(bytes + from_replay, 1, wanted, input.file);
    if (fresh < wanted) {
        std::memset(bytes + from_replay + fresh, 0, wanted - fresh);
        note_end(input, fresh_at + static_cast<std::int64_t>(fresh));
    }
    remember(input, fresh_at, bytes + from_replay, fresh);
    input.position += static_cast<std::int64_t>(size);
    return got + fresh;
}

void begin_input(InputStream& input)
{
    const long offset = std::ftell(input.file);
    input.seekable = offset >= 0;
    input.position = offset >= 0 ? offset : 0;
    input.start = input.position;
}

void skip_bytes(InputStream& input, std::int64_t count)
{
    if (count == 0)
        return;
    const std::int64_t target = input.position + count;
    if (input.seekable && target >= 0 &&
        std::fseek(input.file, static_cast<long>(target), SEEK_SET) == 0) {
        input.position = target;
        input.replay_until = 0;  // the stream itself stands there now
        return;
    }
    const std::int64_t furthest = std::max(input.position, input.replay_until);
    if (count > 0) {
        if (target > furthest) {
            input.position = furthest;
            discard_forward(input, target - furthest);
        }
        input.position = target;
        return;
    }
    // Past the end of a pipe every byte reads as zero, so going back within
    // that stretch changes nothing that is read; going back before it would,
    // unless the bytes are still among the recent ones.
    const bool within_zeros = input.end >= 0 && target >= input.end;
    const bool within_recent =
        keeps_recent(input) && target >= input.start && target >= furthest - recent_count;
    if (!within_zeros && !within_recent)
        fail("Cannot skip backwards on this input.\n");
    input.replay_until = furthest;
    input.position = target;
}

void seek_to(InputStream& input, std::int64_t offset)
{
    skip_bytes(input, offset - input.position);
}

std::int64_t input_size(InputStream& input)
{
    if (input.size >= 0)
        return input.size;
    // Back to where the stream stands, which is not the position while a
    // read past the end is under way.
    const long here = std::ftell(input.file);
    if (here < 0 || std::fseek(input.file, 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(input.file);
    std::fseek(input.file, here, SEEK_SET);
    input.size = size > 0 ? size : 0;
    return input.size;
}

std::int64_t bytes_present(InputStream& input, std::int64_t offset, std::int64_t count)
{
    std::int64_t end = input.end;
    if (end < 0 && input.seekable)
        end = input_size(input);
    if (end < 0)
        return count;  // read or passed over without meeting the end
    return std::clamp<std::int64_t>(end - offset, 0, count);
}

void copy_to_temporary_file(InputStream& input, std::int64_t count)
{
    std::unique_ptr<std::FILE, FileCloser> copy(unnamed_temporary_file());
    if (!copy)
        fail("Error creating temporary file: %s\n", std::strerror(errno));
    static std::array<unsigned char, 64 * 1024> block;
    std::int64_t left = count < 0 ? INT64_MAX : count;
    std::size_t got = 0;
    std::size_t wanted = 0;
    do {
        wanted = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size())));
        got = read_block(input, block.data(), wanted);
        left -= static_cast<std::int64_t>(got);
        if (std::fwrite(block.data(), 1, got, copy.get()) != got)
            fail("Error creating temporary file: %s\n", std::strerror(errno));
    } while (got == wanted && left > 0);
    if (std::fflush(copy.get()) != 0 || std::fseek(copy.get(), 0, SEEK_SET) != 0)
        fail("Error creating temporary file: %s\n", std::strerror(errno));
    input.file = copy.get();
    input.owned_file = std::move(copy);
    input.seekable = true;
    input.position = 0;
    input.start = 0;
    input.end = -1;
    input.size = -1;
    input.replay_until = 0;
}

}  // namespace trk2inst
