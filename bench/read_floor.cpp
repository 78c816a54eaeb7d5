// The least that any reader keeping a module's samples must do: read KEPT bytes
// from OFFSET of FILE into one freshly allocated buffer.
//   read_floor FILE OFFSET KEPT
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    std::FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr)
        return 1;
    const long offset = std::strtol(argv[2], nullptr, 10);
    const auto kept = static_cast<std::size_t>(std::strtoul(argv[3], nullptr, 10));
    auto* buffer = static_cast<unsigned char*>(std::malloc(kept));
    if (buffer == nullptr || std::fseek(file, offset, SEEK_SET) != 0)
        return 1;
    const std::size_t got = std::fread(buffer, 1, kept, file);
    // Use the bytes, so that the read cannot be left out.
    unsigned sum = 0;
    for (std::size_t i = 0; i < got; i += 4096)
        sum += buffer[i];
    std::fclose(file);
    return got == kept && sum != 0xFFFFFFFFu ? 0 : 1;
}
