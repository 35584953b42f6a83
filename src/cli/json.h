#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace auralune {

// A small streaming JSON writer for the command line's machine-readable
// output. Commas and nesting are tracked; keys and values are written in
// order:
//
//   JsonWriter json;
//   json.beginObject().key("path").value(path).key("peakDb").value(-0.3).endObject();
//   out << json.text() << '\n';
//
// Strings are UTF-8 and stay so: only '"', '\\' and the control characters
// below U+0020 (and U+007F) are escaped. Numbers are written as numbers with
// enough digits to read back the same double; NaN and infinities, which JSON
// cannot hold, are written as null. The output is compact (one line).
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();

    // The name of the next member; only inside an object.
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text);
    JsonWriter& value(const std::string& text);
    JsonWriter& value(double number);
    JsonWriter& value(float number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(int number);
    JsonWriter& value(unsigned number);
    JsonWriter& value(long long number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(unsigned long long number) { return value(static_cast<std::uint64_t>(number)); }
    JsonWriter& value(bool flag);
    JsonWriter& null();

    // The text written so far; complete once every object and array is closed.
    const std::string& text() const { return text_; }
    bool complete() const { return nesting_.empty() && !text_.empty(); }

private:
    void beforeValue();
    template <typename Real>
    void real(Real number);

    struct Level {
        bool object;
        bool empty = true;
        bool keyPending = false;
    };
    std::string text_;
    std::vector<Level> nesting_;
};

// text as a JSON string literal, quotes included.
std::string jsonString(std::string_view text);

}  // namespace auralune
