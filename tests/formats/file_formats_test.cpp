#include "formats/file_formats.h"

#include "support/wav_fixtures.h"

#include <gtest/gtest.h>

#include <set>

namespace auralune {
namespace {

TEST(FileFormats, ExtensionsFindTheirFormatInAnyCase)
{
    struct Case {
        const char* path;
        int fileType;   // 0: none
    };
    for (const Case c : {Case{"/a/b.WAV", kFileWav}, Case{"/a/b.Aif", kFileAiff}, Case{"/a/b.aiff", kFileAiff},
                         Case{"/a/b.AIFC", kFileAifc}, Case{"/a/b.flac", kFileFlac}, Case{"/a/b.fla", 0},
                         Case{"/a/flac", 0}, Case{"/a/b.wav.gz", 0}, Case{"/a/.wav", 0}}) {
        const FileFormat* format = fileFormatForPath(c.path);
        EXPECT_EQ(format ? format->fileType : 0, c.fileType) << c.path;
    }
    // The WAV channel picks are written by the WAV writer.
    EXPECT_EQ(findFileFormat(kFileWavSurroundRight), findFileFormat(kFileWav));
    EXPECT_EQ(findFileFormat(0), nullptr);
}

// The desktop entry claims exactly the types the table reads.
TEST(FileFormats, DesktopEntryListsEveryMimeType)
{
    const std::vector<std::uint8_t> bytes = test::readFile(AURALUNE_TEST_DATA "/../../data/auralune.desktop");
    const std::string entry(bytes.begin(), bytes.end());
    EXPECT_NE(entry.find("\nMimeType=" + desktopMimeTypes() + "\n"), std::string::npos) << desktopMimeTypes();
    EXPECT_NE(desktopMimeTypes().find("audio/x-aifc;"), std::string::npos);
}

TEST(FileFormats, OpenPanelSpellingsCoverEveryExtension)
{
    const std::vector<std::string> spellings = sourceExtensionSpellings();
    const std::set<std::string> unique(spellings.begin(), spellings.end());
    EXPECT_EQ(unique.size(), 15u);
    for (const char* spelling : {"aif", "AIFF", "Aifc", "wav", "FLAC", "Flac"})
        EXPECT_TRUE(unique.count(spelling)) << spelling;
    EXPECT_EQ(formatWords(), "wav, aiff, aifc, flac");
}

}  // namespace
}  // namespace auralune
