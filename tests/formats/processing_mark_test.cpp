#include "formats/processing_mark.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace auralune::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Type bit k -> flag bit, as the mark's owners fixed it when the two
// numberings parted.
constexpr int kFlagBitOfType[54] = {0,  1,  2,  3,  5,  6,  4,  10, 7,  8,  9,  19, 20, 21, 22, 23, 24, 25,
                                    27, 42, 11, 12, 13, 14, 18, 36, 37, 44, 48, 26, 46, 47, 49, 53, 50, 51,
                                    35, 52, 28, 29, 30, 31, 32, 33, 16, 17, 15, 34, 45, 38, 39, 40, 41, 43};

TEST(ProcessingMark, CatalogueFlagBitsMatchTheMarkTable)
{
    for (int k = 0; k < 54; ++k)
        EXPECT_EQ(kEnhancementTypes[static_cast<std::size_t>(k)].markBit, kFlagBitOfType[k]) << "type bit " << k;
}

TEST(ProcessingMark, VersionTextSelectsTheLayout)
{
    const std::pair<std::string_view, int> cases[] = {
        {"v2.0.13         ", 1},
        {"v2.0.14         ", 2},
        {"v3.0            ", 2},
        {"V2-0-14", 2},
        {"v2.0.14b", 1},
        {"v2..0.99", 2},
        {"", 1},
        {std::string_view("v2.0.14\0\0 1", 11), 2},
        {"vx.9.9", 1},
    };
    for (const auto& [text, layout] : cases)
        EXPECT_EQ(AudioFile::GetMetadataChunkVersion(text), layout) << text;
    EXPECT_EQ(AudioFile::GetMetadataChunkVersion(kMarkVersionText), 2);
}

// Sets the local zone for one test.
struct ZoneScope {
    explicit ZoneScope(const char* zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope()
    {
        unsetenv("TZ");
        tzset();
    }
};

TEST(ProcessingMark, WritesTheVersionTypesAndLocalDate)
{
    ZoneScope zone("XXX-1");   // one hour east of UTC
    JobHarness h;
    h.clock.setWallTime(1614776709);   // 2021-03-03 13:05:09 UTC
    h.job.settings.filterType_1 = EnhancementCode{1} << 11;
    h.job.settings.filterType_2 = EnhancementCode{1} << 37;
    h.job.dstEndianessValues = kEndianLittle;
    ByteBuffer mark{0xAA};
    h.job.CreateMetadataChunk(mark);
    ASSERT_EQ(mark.size(), 1 + kMarkChunkBytes);
    const std::span<const std::uint8_t> chunk(mark.data() + 1, kMarkChunkBytes);
    EXPECT_TRUE(bytes::hasFourCC(chunk, 0, "KEST"));
    EXPECT_EQ(bytes::readU32LE(chunk, 4), 58u);
    EXPECT_EQ(std::string(chunk.begin() + 8, chunk.begin() + 24), "v3.0.0          ");
    EXPECT_EQ(bytes::readU64BE(chunk, 24), std::uint64_t{1} << 11);
    EXPECT_EQ(bytes::readU64BE(chunk, 32), std::uint64_t{1} << 37);
    EXPECT_EQ(std::string(chunk.begin() + 40, chunk.end()), "2021-03-03 14:05:09 +0100 ");

    h.job.dstEndianessValues = kEndianBig;
    ByteBuffer aiff;
    h.job.CreateMetadataChunk(aiff);
    EXPECT_EQ(bytes::readU32BE(aiff, 4), 58u);
}

// The mark's data as a layout-1 writer left it: 4-byte codes.
Bytes layoutOneMark(std::uint32_t enhancement1, std::uint32_t enhancement2)
{
    Bytes data;
    bytes::appendPadded(data, "v2.0.13", 16);
    bytes::appendBE(data, enhancement1);
    bytes::appendBE(data, enhancement2);
    bytes::appendPadded(data, "2012-01-02 03:04:05 +0000", 26);
    return data;
}

TEST(ProcessingMark, WrittenMarkReadsBackAsLayoutTwoAndWarnsOnlyWhenAnalysing)
{
    for (bool headerOnly : {true, false}) {
        for (bool warn : {true, false}) {
            SCOPED_TRACE(std::to_string(headerOnly) + std::to_string(warn));
            JobHarness h;
            h.job.settings.filterType_1 = EnhancementCode{1} << 1;    // KESTRALIN
            h.job.settings.filterType_2 = EnhancementCode{1} << 37;   // Hi-Res
            h.job.settings.warnPreprocess = warn;
            ByteBuffer mark;
            h.job.CreateMetadataChunk(mark);
            h.job.ReadMetadataChunk(std::span<const std::uint8_t>(mark).subspan(8), headerOnly);

            EXPECT_EQ(h.job.error, 0);
            EXPECT_EQ(h.job.warning_1, std::uint64_t{1} << 1);
            EXPECT_EQ(h.job.warning_2, std::uint64_t{1} << 52);
            EXPECT_TRUE(h.log.contains("<Info>  Enhancement 2 type = 2000000000 (hex) 137438953472 (dec)"));
            EXPECT_EQ(h.log.contains("<WARNING> This file has already been processed with KESTRALIN + Hi-Res"),
                      headerOnly);
            const auto shown = h.alerts.shown();
            ASSERT_EQ(shown.size(), headerOnly && warn ? 1u : 0u);
            if (!shown.empty()) {
                EXPECT_EQ(shown[0].informativeText,
                          "This source file has already been processed with KESTRALIN + Hi-Res.");
                EXPECT_EQ(h.beeper.count(), 1);
            }
        }
    }
}

TEST(ProcessingMark, LayoutOneMarksAndPriorConversionFlags)
{
    JobHarness h;
    const Bytes data = layoutOneMark(1u << 11, 4);
    h.job.ReadMetadataChunk(data, true);
    EXPECT_EQ(h.job.warning_1, std::uint64_t{1} << 19);
    EXPECT_EQ(h.job.warning_2, std::uint64_t{1} << 48);
    EXPECT_TRUE(h.log.contains("<Info>  version = v2.0.13         "));
    EXPECT_TRUE(h.log.contains("<Info>  Converted: 2012-01-02 03:04:05 +0000 "));
    EXPECT_TRUE(h.log.contains("<WARNING> This file has already been processed with Phonograph EQ A1 (RIAA)"));

    // Enhancement 1 "None": flags recorded, no warning whatever Enhancement 2 was.
    const PriorConversion none = priorConversion(1, EnhancementCode{1} << 4, 2);
    EXPECT_EQ(none.flags1, 1u);
    EXPECT_EQ(none.flags2, std::uint64_t{1} << 5);
    EXPECT_EQ(none.names, " + Rivelle");
    JobHarness n;
    n.job.MetadataWarning(1, EnhancementCode{1} << 4, true, 2);
    EXPECT_TRUE(n.alerts.shown().empty());
    EXPECT_FALSE(n.log.contains("<WARNING> This file has already been processed with  + Rivelle"));

    // Codes outside the catalogue (a newer version's) are shown as unknown;
    // the file still converts.
    JobHarness bad;
    bad.job.settings.warnPreprocess = true;
    bad.job.MetadataWarning(3, EnhancementCode{1} << 54, true, 2);
    EXPECT_EQ(bad.job.error, 0);
    EXPECT_TRUE(bad.log.contains("<WARNING> Unexpected metadata filter index"));
    EXPECT_TRUE(bad.log.contains("<WARNING> Unexpected metadata_2 filter index"));
    EXPECT_TRUE(bad.log.contains("<WARNING> This file has already been processed with unknown enhancement (0x3) + "
                                 "unknown enhancement (0x40000000000000)"));
    EXPECT_EQ(bad.alerts.shown().size(), 1u);
    EXPECT_EQ(bad.job.readyStateText(), "Ready to convert. Prior conversion: unknown enhancement (0x3) + unknown "
                                        "enhancement (0x40000000000000)");
    EXPECT_EQ(bad.job.completedStateText(), "Multiple converts. Complete.");
    EXPECT_TRUE(priorConversion(2, 16, 1).badEnhancement2);
    EXPECT_EQ(priorConversion(2, 1, 1).flags2, 1u);
}

TEST(ProcessingMark, MarksShorterThanTheirLayoutAreIgnored)
{
    Bytes layoutTwo;
    bytes::appendPadded(layoutTwo, "v3.0", 16);
    layoutTwo.resize(50, 0);   // a layout-1 length under a layout-2 version
    Bytes layoutOne = layoutOneMark(2, 1);
    layoutOne.pop_back();
    const Bytes cases[] = {Bytes(10, 'v'), layoutTwo, layoutOne};
    for (const Bytes& data : cases) {
        JobHarness h;
        h.job.ReadMetadataChunk(data, true);
        EXPECT_EQ(h.job.error, 0);
        EXPECT_EQ(h.job.warning_1, 0u);
        EXPECT_EQ(h.log.lines().back().rfind("<WARNING>  KEST chunk of ", 0), 0u) << h.log.lines().back();
    }
}

TEST(Bext, LoudnessFieldsAreRoundedHundredths)
{
    EXPECT_EQ(static_cast<std::int16_t>(bextLoudnessField(-23.456)), -2346);
    EXPECT_EQ(bextLoudnessField(5.004), 500);
    EXPECT_EQ(bextLoudnessField(0.005), 1);
    EXPECT_EQ(static_cast<std::int16_t>(bextLoudnessField(-0.004)), 0);
    EXPECT_EQ(bextLoudnessField(400.0), 40000 & 0x7FFF);   // kept to 15 bits
    EXPECT_EQ(bextLoudnessField(std::nan("")), 0);
    EXPECT_EQ(bextLoudnessField(-HUGE_VAL), static_cast<std::uint16_t>(0u - 2147483647u));
}

TEST(Bext, NewAndCopiedChunks)
{
    const BextLoudness loudness{-23.456, 5.004, -1.0, -20.0, -21.0};
    const Bytes fresh = buildBextChunk({}, loudness);
    ASSERT_EQ(fresh.size(), 610u);
    EXPECT_TRUE(bytes::hasFourCC(fresh, 0, "bext"));
    EXPECT_EQ(bytes::readU32LE(fresh, 4), 602u);
    EXPECT_EQ(bytes::readU16LE(fresh, 354), 2);
    EXPECT_EQ(bytes::readU16LE(fresh, 420), static_cast<std::uint16_t>(-2346));
    EXPECT_EQ(bytes::readU16LE(fresh, 422), 500);
    EXPECT_EQ(bytes::readU16LE(fresh, 428), static_cast<std::uint16_t>(-2100));
    for (auto [from, to] : {std::pair{8, 354}, {356, 420}, {430, 610}})
        for (int i = from; i < to; ++i)
            ASSERT_EQ(fresh[static_cast<std::size_t>(i)], 0) << i;

    Bytes source(700, 0x5A);
    std::copy_n("bext", 4, source.begin());
    bytes::storeLE<std::uint32_t>(source, 4, 692);
    const Bytes copied = buildBextChunk(source, loudness);
    ASSERT_EQ(copied.size(), 700u);
    EXPECT_EQ(bytes::readU32LE(copied, 4), 692u);
    EXPECT_EQ(bytes::readU16LE(copied, 354), 2);
    EXPECT_EQ(bytes::readU16LE(copied, 422), 500);
    EXPECT_EQ(copied[353], 0x5A);
    EXPECT_EQ(copied[430], 0x5A);
    EXPECT_EQ(copied[699], 0x5A);   // coding history kept

    // A stored chunk without all the fixed fields is not carried: a new one is written.
    EXPECT_EQ(buildBextChunk(Bytes(300, 1), loudness), fresh);
}

TEST(CarriedChunks, HeadersAreRewrittenInTheDestinationByteOrder)
{
    const Bytes stored{'i', 'X', 'M', 'L', 0xFF, 0xFF, 0xFF, 0xFF, '<', 'a', '/', '>', 0};
    const Bytes little = rebuildChunk("iXML", stored, false);
    EXPECT_EQ(little, (Bytes{'i', 'X', 'M', 'L', 5, 0, 0, 0, '<', 'a', '/', '>', 0}));
    const Bytes big = rebuildChunk("ID3 ", stored, true);
    EXPECT_EQ(big, (Bytes{'I', 'D', '3', ' ', 0, 0, 0, 5, '<', 'a', '/', '>', 0}));
    EXPECT_TRUE(rebuildChunk("iXML", Bytes{'i', 'X', 'M'}, false).empty());

    // Too short to carry: sizes 0 and nothing appended.
    JobHarness h;
    h.job.settings.calculateDstR128 = h.job.settings.dstBwfMetadata = true;
    h.job.srcIXMLChunkData = {'i', 'X', 'M', 'L', 0, 0, 0, 0};
    h.job.srcID3ChunkData = {'I', 'D'};
    h.job.srcBextChunkData = Bytes(20, 0);
    EXPECT_EQ(h.job.carriedIXMLChunkSize(), 0u);
    EXPECT_EQ(h.job.carriedID3ChunkSize(), 0u);
    EXPECT_EQ(h.job.carriedBextChunkSize(), 610u);
    h.job.WarnShortCarriedChunks();
    EXPECT_EQ(h.log.lines(),
              (std::vector<std::string>{
                  "<WARNING> Stored BEXT chunk of 20 bytes is too short; a new one is written",
                  "<WARNING> Stored ID3v2 chunk of 2 bytes is shorter than its header and is not carried"}));
    h.job.settings.dstBwfMetadata = false;
    EXPECT_EQ(h.job.carriedBextChunkSize(), 0u);
}

}  // namespace
}  // namespace auralune::test
