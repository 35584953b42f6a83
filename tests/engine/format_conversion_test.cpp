// Whole conversions between the four file formats through the processing
// pass, checked by sox, and the metadata a destination keeps or names.

#include "engine/pass_lock.h"
#include "support/external_tools.h"
#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

namespace auralune {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// An analysed job, converted with "None", hi-res and dither off, into
// `outputFormat` next to the source with the suffix given.
struct Conversion : test::JobHarness {
    PassLock lock;
    SettingsSnapshot settings;

    Conversion(const fs::path& source, int outputFormat, const std::string& suffix) : JobHarness(source.string())
    {
        job.AnalyseFileThread(SettingsSnapshot{});
        settings.passLock = &lock;
        settings.destinationFileSuffix = suffix;
        settings.outputFormatType = outputFormat;
        settings.hiResType = 2;
        settings.ditherType = 2;
    }
    void convert() { job.ProcessFileThread(settings); }
    fs::path written() const { return job.tableText(TableText::DestinationName); }
};

bool haveTools() { return test::haveTool("sox") && test::haveTool("flac"); }

TEST(FormatConversion, EveryFormatConvertsIntoEveryFormatWithTheSameIntegers)
{
    if (!haveTools())
        GTEST_SKIP() << "sox or flac is not installed";
    for (int bits : {16, 24}) {
        test::TempDir dir;
        const fs::path original = dir.path() / "tone.wav";
        ASSERT_TRUE(test::runQuietly("sox -n -r 44100 -b " + std::to_string(bits) + " -c 2 '" + original.string() +
                                     "' synth 0.2 sine 440 sine 660 vol 0.9"));
        const std::string samples = test::soxRawSamples(original.string());
        ASSERT_FALSE(samples.empty());
        std::vector<fs::path> sources{original};
        for (const char* extension : {"aif", "aifc", "flac"}) {
            sources.push_back(dir.path() / (std::string("tone-src.") + extension));
            ASSERT_TRUE(test::runQuietly("sox '" + original.string() + "' '" + sources.back().string() + "'"));
        }
        struct Target {
            int outputFormat;
            std::string_view magic, form;   // the bytes at 0 and 8 of the written file
        };
        for (const fs::path& source : sources)
            for (const Target target : {Target{2, "RIFF", "WAVE"}, Target{4, "FORM", "AIFF"}, Target{8, "FORM", "AIFC"},
                                        Target{16, "fLaC", ""}, Target{1, "", ""}}) {
                const std::string suffix = "-to" + std::to_string(target.outputFormat);
                Conversion c(source, target.outputFormat, suffix);
                ASSERT_EQ(c.job.error, 0) << source << "\n" << test::logText(c.log);
                c.convert();
                const std::string what = source.filename().string() + suffix;
                ASSERT_EQ(c.job.state, kStateConverted) << what << "\n" << test::logText(c.log);
                const Bytes image = test::readFile(c.written());
                if (!target.magic.empty()) {
                    EXPECT_TRUE(bytes::hasFourCC(image, 0, target.magic)) << what;
                    if (!target.form.empty()) {
                        EXPECT_TRUE(bytes::hasFourCC(image, 8, target.form)) << what;
                    }
                } else {
                    // "Unchanged" keeps the source's type and extension.
                    EXPECT_EQ(c.written().extension(), source.extension()) << what;
                    const Bytes sourceImage = test::readFile(source);
                    ASSERT_GE(image.size(), 4u) << what;
                    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4, sourceImage.begin())) << what;
                }
                EXPECT_EQ(test::soxRawSamples(c.written().string()), samples) << what;
                if (source == original && target.outputFormat == kFileAiff) {
                    EXPECT_EQ(c.job.tableText(TableText::FileType), "WAV audio > AIFF audio");
                }
                // And back to WAV: the original integers, whatever the way.
                if (source == original && target.outputFormat != 1) {
                    Conversion back(c.written(), kFileWav, "-back");
                    back.convert();
                    ASSERT_EQ(back.job.state, kStateConverted) << what;
                    EXPECT_EQ(test::soxRawSamples(back.written().string()), samples) << what << " and back";
                }
            }
    }
}

// A WAV with broadcast-wave, iXML, ID3 and LIST chunks; `ixml` and `id3`
// get the whole chunks as a reader keeps them.
fs::path wavWithMetadata(const fs::path& folder, Bytes& ixml, Bytes& id3)
{
    const fs::path path = folder / "tagged.wav";
    test::writeFile(path, test::RiffBuilder()
                              .fmt(2, 44100, 16)
                              .chunk("bext", Bytes(602, 0x41))
                              .chunk("iXML", {'<', 'B', 'W', 'F', 'X', 'M', 'L', '/', '>', 0})
                              .chunk("ID3 ", {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0})
                              .chunk("LIST", {'I', 'N', 'F', 'O'})
                              .chunk("data", Bytes(4 * 4410, 7))
                              .image());
    test::JobHarness reader(path.string());
    reader.job.AnalyseWAV(true);
    ixml = reader.job.srcIXMLChunkData;
    id3 = reader.job.srcID3ChunkData;
    return path;
}

TEST(FormatConversion, CarriedChunksSurviveFlacAndTheRestAreNamed)
{
    test::TempDir dir;
    Bytes ixml, id3;
    const fs::path source = wavWithMetadata(dir.path(), ixml, id3);

    // Asked to keep bext and iXML: WAV -> FLAC -> WAV keeps all three.
    Conversion toFlac(source, kFileFlac, "-kept");
    toFlac.settings.calculateDstR128 = toFlac.settings.dstBwfMetadata = true;
    toFlac.convert();
    ASSERT_EQ(toFlac.job.state, kStateConverted) << test::logText(toFlac.log);
    EXPECT_TRUE(toFlac.log.contains("<WARNING> Not carried: LIST (never carried)"));
    EXPECT_EQ(toFlac.job.dstMetrics.back(), "Not carried: LIST (never carried)");

    Conversion back(toFlac.written(), kFileWav, "-back");
    back.settings.calculateDstR128 = back.settings.dstBwfMetadata = true;
    back.convert();
    ASSERT_EQ(back.job.state, kStateConverted);
    test::JobHarness result(back.written().string());
    result.job.AnalyseWAV(true);
    EXPECT_EQ(result.job.srcIXMLChunkData, ixml);
    EXPECT_EQ(result.job.srcID3ChunkData, id3);
    ASSERT_EQ(result.job.srcBextChunkData.size(), 610u);
    EXPECT_EQ(result.job.srcBextChunkData[8], 0x41);   // the source's description
    EXPECT_TRUE(back.job.uncarriedMetadata().empty());

    // Not asked: bext and iXML are named with the way to keep them; AIFF
    // has no place for them at all.
    Conversion plain(source, kFileWav, "-plain");
    plain.convert();
    ASSERT_EQ(plain.job.state, kStateConverted);
    EXPECT_TRUE(plain.log.contains(
        "<WARNING> Not carried: bext (turn on CalculateDstR128 and DstBwfMetadata to keep it), iXML (turn on "
        "CalculateDstR128 and DstBwfMetadata to keep it), LIST (never carried)"));
    Conversion aiff(source, kFileAifc, "-aiff");
    aiff.settings.calculateDstR128 = aiff.settings.dstBwfMetadata = true;
    aiff.convert();
    ASSERT_EQ(aiff.job.state, kStateConverted);
    EXPECT_TRUE(aiff.log.contains(
        "<WARNING> Not carried: bext (AIFF has no place for it), iXML (AIFF has no place for it), LIST (never "
        "carried)"));
}

TEST(FormatConversion, AFailedFlacEncodeFailsTheJobAndLeavesNoFile)
{
    test::TempDir dir;
    Bytes ixml, id3;
    const fs::path source = wavWithMetadata(dir.path(), ixml, id3);
    Conversion c(source, kFileFlac, "-failed");
    c.job.srcVorbisComments = {"NOT\x7FLEGAL=x"};   // a comment libFLAC refuses
    c.convert();
    EXPECT_EQ(c.job.state, kStateFailed);
    EXPECT_EQ(c.job.tableText(TableText::State), "Cannot save file. ");
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), "tagged.wav");
}

}  // namespace
}  // namespace auralune
