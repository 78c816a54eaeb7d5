// The one way a run ends on an error: the message travels up to the command
// line's entry point, which flushes standard output, prints it and returns 1.
// Also what messages need to quote bytes safely.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run_state.h"

namespace trk2inst {

void fail(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(static_cast<std::size_t>(size > 0 ? size : 0) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    // Keep the length vsnprintf counted: a "%c" of a zero character is part of the message.
    throw FatalError{std::string(text.data(), text.size() - 1)};
}

std::string printable(const char* text)
{
    std::string out;
    for (const char* c = text; *c != '\0'; ++c)
        out += printable(*c);
    return out;
}

std::string printable(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E)
        return std::string(1, c);
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned{byte});
    return escaped;
}

}  // namespace trk2inst
