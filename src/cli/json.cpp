#include "cli/json.h"

#include <cassert>
#include <charconv>
#include <cmath>

namespace auralune {

std::string jsonString(std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\b': quoted += "\\b"; break;
        case '\f': quoted += "\\f"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                quoted += "\\u00";
                quoted += kHex[byte >> 4];
                quoted += kHex[byte & 0xf];
            } else {
                quoted += c;   // UTF-8 sequences pass through unchanged
            }
        }
    }
    quoted += '"';
    return quoted;
}

void JsonWriter::beforeValue()
{
    if (nesting_.empty()) {
        assert(text_.empty());   // one top-level value
        return;
    }
    Level& level = nesting_.back();
    if (level.object) {
        assert(level.keyPending);
        level.keyPending = false;
        return;
    }
    if (!level.empty)
        text_ += ',';
    level.empty = false;
}

JsonWriter& JsonWriter::beginObject()
{
    beforeValue();
    text_ += '{';
    nesting_.push_back({true});
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    assert(!nesting_.empty() && nesting_.back().object && !nesting_.back().keyPending);
    nesting_.pop_back();
    text_ += '}';
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    beforeValue();
    text_ += '[';
    nesting_.push_back({false});
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    assert(!nesting_.empty() && !nesting_.back().object);
    nesting_.pop_back();
    text_ += ']';
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    assert(!nesting_.empty() && nesting_.back().object && !nesting_.back().keyPending);
    Level& level = nesting_.back();
    if (!level.empty)
        text_ += ',';
    level.empty = false;
    level.keyPending = true;
    text_ += jsonString(name);
    text_ += ':';
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text)
{
    beforeValue();
    text_ += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(const char* text)
{
    return text ? value(std::string_view(text)) : null();
}

JsonWriter& JsonWriter::value(const std::string& text)
{
    return value(std::string_view(text));
}

// Shortest text that reads back as the same number of its type.
template <typename Real>
void JsonWriter::real(Real number)
{
    if (!std::isfinite(number)) {
        null();
        return;
    }
    beforeValue();
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    text_.append(buffer, result.ptr);
}

JsonWriter& JsonWriter::value(double number)
{
    real(number);
    return *this;
}

JsonWriter& JsonWriter::value(float number)
{
    real(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number)
{
    beforeValue();
    text_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number)
{
    beforeValue();
    text_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(int number)
{
    return value(static_cast<std::int64_t>(number));
}

JsonWriter& JsonWriter::value(unsigned number)
{
    return value(static_cast<std::uint64_t>(number));
}

JsonWriter& JsonWriter::value(bool flag)
{
    beforeValue();
    text_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null()
{
    beforeValue();
    text_ += "null";
    return *this;
}

}  // namespace auralune
