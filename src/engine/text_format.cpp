#include "engine/text_format.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace auralune {

std::string formatText(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

std::string fieldText(std::span<const std::uint8_t> field, std::size_t width)
{
    const std::size_t n = std::min(field.size(), width);
    std::string text(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(n));
    if (const auto zero = text.find('\0'); zero != std::string::npos)
        text.resize(zero);
    return text;
}

std::string systemErrorText(int code)
{
    char text[256];
    // The GNU strerror_r returns the text, in `text` or a static string.
    return ::strerror_r(code, text, sizeof text);
}

}  // namespace auralune
