#include "formats/byte_io.h"
#include "formats/byte_source.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <limits>

namespace auralune::test {
namespace {

TEST(ByteIo, ReadsStayInsideTheSpanWhateverTheOffset)
{
    const std::vector<std::uint8_t> data{0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(bytes::readU32LE(data, 0), 0x04030201u);
    EXPECT_EQ(bytes::readU32BE(data, 1), 0x02030405u);
    EXPECT_EQ(bytes::readU32LE(data, 2), std::nullopt);
    EXPECT_EQ(bytes::readU16LE(data, std::numeric_limits<std::uint64_t>::max()), std::nullopt);
    EXPECT_EQ(bytes::readBEWidth(data, 2, 3), 0x030405u);
    EXPECT_EQ(bytes::readBEWidth(data, 0, 9), std::nullopt);
    EXPECT_FALSE(bytes::fits(5, 1, std::numeric_limits<std::uint64_t>::max()));
    EXPECT_TRUE(bytes::hasFourCC(data, 1, "\2\3\4\5"));
    EXPECT_FALSE(bytes::hasFourCC(data, 2, "\3\4\5\6"));

    std::vector<std::uint8_t> target(3, 0);
    EXPECT_FALSE(bytes::storeLE<std::uint32_t>(target, 0, 1));
    EXPECT_EQ(target, (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST(ByteSource, RefusesRangesPastTheEndWithoutAllocating)
{
    const std::vector<std::uint8_t> data{1, 2, 3, 4};
    const MemoryByteSource memory(data);
    std::vector<std::uint8_t> out{9};
    EXPECT_FALSE(memory.readInto(2, 3, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(memory.readInto(1, std::numeric_limits<std::uint64_t>::max(), out));
    EXPECT_TRUE(memory.readInto(1, 3, out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{2, 3, 4}));

    TempDir dir;
    writeFile(dir.path() / "four.bin", data);
    const auto file = FileByteSource::open((dir.path() / "four.bin").string());
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 4u);
    EXPECT_FALSE(file->readInto(4, 1, out));
    EXPECT_TRUE(file->readInto(0, 4, out));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(FileByteSource::open(dir.path().string()));   // a directory is not a source
}

TEST(CarriedChunksDeathTest, BextNeedsLittleEndianHeaderValues)
{
    JobHarness h;
    h.job.dstEndianessValues = kEndianBig;
    ByteBuffer buffer;
    h.job.CreateBextChunk(buffer, 0);   // nothing asked, nothing checked
    EXPECT_DEATH(h.job.CreateBextChunk(buffer, 610),
                 "Unexpected destination values endianess in -\\[AudioFile CreateBextChunk::\\]");
}

}  // namespace
}  // namespace auralune::test
