#include "metrics/metadata_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace auralune::metrics {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(SanitiseUtf8, KeepsValidTextUnchanged)
{
    const std::string text = "Caf\xC3\xA9 \xCE\xBC \xE2\x82\xAC \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF plain";
    EXPECT_EQ(sanitiseUtf8(text), text);
    EXPECT_EQ(sanitiseUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(SanitiseUtf8, ReplacesEachMaximalIllFormedSubsequence)
{
    // Latin-1 bytes, stray continuation bytes, bytes never used in UTF-8.
    EXPECT_EQ(sanitiseUtf8("Caf\xE9!"), "Caf" + kFFFD + "!");
    EXPECT_EQ(sanitiseUtf8("\x80\xBF"), kFFFD + kFFFD);
    EXPECT_EQ(sanitiseUtf8("\xC0\xAF\xFF"), kFFFD + kFFFD + kFFFD);
    // A truncated sequence is one replacement, and the byte that broke it is kept.
    EXPECT_EQ(sanitiseUtf8("\xF0\x9F\x8E" "A"), kFFFD + "A");
    EXPECT_EQ(sanitiseUtf8("\xE2\x82"), kFFFD);
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    EXPECT_EQ(sanitiseUtf8("\xE0\x80\x80"), kFFFD + kFFFD + kFFFD);
    EXPECT_EQ(sanitiseUtf8("\xED\xA0\x80"), kFFFD + kFFFD + kFFFD);
    EXPECT_EQ(sanitiseUtf8("\xF4\x90\x80\x80"), kFFFD + kFFFD + kFFFD + kFFFD);
    EXPECT_EQ(sanitiseUtf8("\xF5\x80"), kFFFD + kFFFD);
}

std::vector<std::uint8_t> bextChunk(std::size_t size)
{
    std::vector<std::uint8_t> chunk(size, 0);
    std::copy_n("bext", 4, chunk.begin());
    return chunk;
}

TEST(DecodeBext, ReadsNumbersInTheContainerByteOrder)
{
    // Big-endian TimeReference 2^32 + 5, Version 2, LoudnessValue -2300 (0xF704);
    // the little-endian order is read in the report tests.
    std::vector<std::uint8_t> chunk = bextChunk(610);
    chunk[kBextTimeReferenceOffset + 3] = 1;
    chunk[kBextTimeReferenceOffset + 7] = 5;
    chunk[kBextVersionOffset + 1] = 2;
    chunk[kBextLoudnessValueOffset] = 0xF7;
    chunk[kBextLoudnessValueOffset + 1] = 0x04;
    const auto big = decodeBext(chunk, true);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->timeReferenceSamples, 4294967301u);
    EXPECT_EQ(big->version, 2);
    EXPECT_EQ(big->loudnessValue, -2300);
}

TEST(DecodeBext, FullWidthFieldsDoNotRunIntoTheirNeighbours)
{
    std::vector<std::uint8_t> chunk = bextChunk(612);
    std::fill_n(chunk.begin() + kBextDescriptionOffset, kBextDescriptionBytes, 'D');
    std::fill_n(chunk.begin() + kBextOriginatorOffset, kBextOriginatorBytes, 'O');
    std::fill_n(chunk.begin() + kBextOriginatorReferenceOffset, kBextOriginatorReferenceBytes, 'R');
    std::fill_n(chunk.begin() + kBextOriginationDateOffset, kBextOriginationDateBytes, '1');
    std::fill_n(chunk.begin() + kBextOriginationTimeOffset, kBextOriginationTimeBytes, '2');
    chunk[610] = 'H';
    chunk[611] = 'X';
    auto info = decodeBext(chunk, false);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->description, std::string(256, 'D'));
    EXPECT_EQ(info->originator, std::string(32, 'O'));
    EXPECT_EQ(info->originatorReference, std::string(32, 'R'));
    EXPECT_EQ(info->originationDate, std::string(10, '1'));
    EXPECT_EQ(info->originationTime, std::string(8, '2'));
    EXPECT_EQ(info->codingHistory, "HX");
}

}  // namespace
}  // namespace auralune::metrics
