#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Little- and big-endian numbers in byte buffers. Reads are bounds-checked
// and give nothing when the value does not lie wholly inside the span;
// stores into a span report whether they fit; appends grow a vector (of
// any allocator: destination images are stage buffers).
namespace auralune::bytes {

using ConstBytes = std::span<const std::uint8_t>;
using Buffer = std::vector<std::uint8_t>;

// True when [offset, offset + count) lies inside a span of `size` bytes;
// written so that no sum can wrap.
constexpr bool fits(std::size_t size, std::uint64_t offset, std::uint64_t count)
{
    return offset <= size && count <= size - offset;
}

template <typename T>
constexpr std::optional<T> readLE(ConstBytes data, std::uint64_t offset)
{
    if (!fits(data.size(), offset, sizeof(T)))
        return std::nullopt;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>(value | static_cast<T>(T{data[offset + i]} << (8 * i)));
    return value;
}

template <typename T>
constexpr std::optional<T> readBE(ConstBytes data, std::uint64_t offset)
{
    if (!fits(data.size(), offset, sizeof(T)))
        return std::nullopt;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>((value << 8) | T{data[offset + i]});
    return value;
}

// Big-endian unsigned number of `width` bytes (1-8).
constexpr std::optional<std::uint64_t> readBEWidth(ConstBytes data, std::uint64_t offset, std::size_t width)
{
    if (width == 0 || width > 8 || !fits(data.size(), offset, width))
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | data[offset + i];
    return value;
}

constexpr std::optional<std::uint16_t> readU16LE(ConstBytes data, std::uint64_t offset)
{
    return readLE<std::uint16_t>(data, offset);
}
constexpr std::optional<std::uint32_t> readU32LE(ConstBytes data, std::uint64_t offset)
{
    return readLE<std::uint32_t>(data, offset);
}
constexpr std::optional<std::uint32_t> readU32BE(ConstBytes data, std::uint64_t offset)
{
    return readBE<std::uint32_t>(data, offset);
}
constexpr std::optional<std::uint64_t> readU64BE(ConstBytes data, std::uint64_t offset)
{
    return readBE<std::uint64_t>(data, offset);
}

// True when the four bytes at `offset` are the ASCII code `id`.
constexpr bool hasFourCC(ConstBytes data, std::uint64_t offset, std::string_view id)
{
    if (id.size() != 4 || !fits(data.size(), offset, 4))
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (data[offset + i] != static_cast<std::uint8_t>(id[i]))
            return false;
    return true;
}

template <typename T>
constexpr bool storeLE(std::span<std::uint8_t> data, std::uint64_t offset, T value)
{
    if (!fits(data.size(), offset, sizeof(T)))
        return false;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        data[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return true;
}

template <typename T, typename Alloc>
void appendLE(std::vector<std::uint8_t, Alloc>& out, T value)
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

template <typename T, typename Alloc>
void appendBE(std::vector<std::uint8_t, Alloc>& out, T value)
{
    for (std::size_t i = sizeof(T); i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 32-bit size in the byte order of a destination's header numbers.
template <typename Alloc>
void appendU32(std::vector<std::uint8_t, Alloc>& out, std::uint32_t value, bool bigEndian)
{
    if (bigEndian)
        appendBE(out, value);
    else
        appendLE(out, value);
}

template <typename Alloc>
void appendText(std::vector<std::uint8_t, Alloc>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The text padded with spaces (or cut) to exactly `width` bytes.
template <typename Alloc>
void appendPadded(std::vector<std::uint8_t, Alloc>& out, std::string_view text, std::size_t width)
{
    const std::size_t used = text.size() < width ? text.size() : width;
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
    out.insert(out.end(), width - used, static_cast<std::uint8_t>(' '));
}

}  // namespace auralune::bytes
