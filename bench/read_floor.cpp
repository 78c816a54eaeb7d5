// The least that any reader keeping a module's samples must do: read KEPT bytes
// from OFFSET of FILE into one freshly allocated buffer. With STORED, the
// module holds the samples in other bytes: those are read into the buffer's
// start and the rest of its KEPT bytes is written (compressed samples), or the
// buffer holds them all (16-bit stereo samples, which take more than KEPT).
//   read_floor FILE OFFSET KEPT [STORED]
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr)
        return 1;
    const long offset = std::strtol(argv[2], nullptr, 10);
    const auto kept = static_cast<std::size_t>(std::strtoul(argv[3], nullptr, 10));
    const std::size_t stored = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : kept;
    const std::size_t size = stored > kept ? stored : kept;
    auto* buffer = static_cast<unsigned char*>(std::malloc(size));
    if (buffer == nullptr || std::fseek(file, offset, SEEK_SET) != 0)
        return 1;
    const std::size_t got = std::fread(buffer, 1, stored, file);
    std::memset(buffer + got, 0, size - got);
    // Use the bytes, so that the read cannot be left out.
    unsigned sum = 0;
    for (std::size_t i = 0; i < got; i += 4096)
        sum += buffer[i];
    std::fclose(file);
    return got == stored && sum != 0xFFFFFFFFu ? 0 : 1;
}
