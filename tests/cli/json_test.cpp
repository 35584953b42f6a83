#include "cli/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace auralune {
namespace {

TEST(JsonTest, StringsEscapeControlCharactersAndKeepUtf8)
{
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"tab\tnew\nline\r", R"("tab\tnew\nline\r")"},
        {std::string("nul\0end", 7), R"("nul\u0000end")"},
        {"\x01\x1f\x7f\b\f", R"("\u0001\u001f\u007f\b\f")"},
        {"Mot\xc3\xb6rhead \xe2\x99\xaa", "\"Mot\xc3\xb6rhead \xe2\x99\xaa\""},
        {"/music/out", R"("/music/out")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(jsonString(c.text), c.expected) << c.text;
}

TEST(JsonTest, NumbersReadBackAndNonFiniteBecomesNull)
{
    JsonWriter json;
    json.beginArray()
        .value(0.1)
        .value(-3.0103)
        .value(std::numeric_limits<double>::quiet_NaN())
        .value(std::numeric_limits<double>::infinity())
        .value(-std::numeric_limits<float>::infinity())
        .value(std::int64_t{-9007199254740993})
        .value(std::uint64_t{18446744073709551615u})
        .value(44100)
        .value(1e300)
        .endArray();
    EXPECT_EQ(json.text(), "[0.1,-3.0103,null,null,null,-9007199254740993,18446744073709551615,44100,1e+300]");
    EXPECT_TRUE(json.complete());
}

TEST(JsonTest, NestingAndCommas)
{
    JsonWriter json;
    json.beginObject()
        .key("path").value("take1.wav")
        .key("ok").value(false)
        .key("empty").beginArray().endArray()
        .key("warnings").beginArray()
            .beginObject().key("text").value("Clipped.").key("cause").null().endObject()
            .beginObject().endObject()
        .endArray()
        .key("metrics").beginObject().key("peakDb").value(-0.5).endObject()
        .endObject();
    EXPECT_EQ(json.text(),
              R"({"path":"take1.wav","ok":false,"empty":[],"warnings":[{"text":"Clipped.","cause":null},{}],)"
              R"("metrics":{"peakDb":-0.5}})");
    EXPECT_TRUE(json.complete());

    JsonWriter open;
    open.beginObject().key("a").value(true);
    EXPECT_FALSE(open.complete());
}

}  // namespace
}  // namespace auralune
