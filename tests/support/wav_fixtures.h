#pragma once

#include "engine/audio_file.h"
#include "formats/byte_io.h"
#include "platform/platform.h"
#include "support/job_fixture.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace auralune::test {

// A job with captured platform services, analysed on the test's own thread
// (which is the main thread of the run loop, so dialogs run at once).
struct JobHarness : TestPlatform {
    AudioFile job{platform};

    explicit JobHarness(const std::string& path = "/nonexistent/source.wav") { job.initWithName(path, false, false); }
};

// Builds RIFF images chunk by chunk.
class RiffBuilder {
public:
    explicit RiffBuilder(std::string_view form = "WAVE")
    {
        bytes::appendText(image_, "RIFF");
        bytes::appendLE<std::uint32_t>(image_, 0);
        bytes::appendText(image_, form);
    }

    // A chunk with its pad byte when the size is odd (unless told not to).
    RiffBuilder& chunk(std::string_view id, const std::vector<std::uint8_t>& data, bool pad = true)
    {
        return chunkWithSize(id, static_cast<std::uint32_t>(data.size()), data, pad);
    }
    // A chunk whose size field says `size`, whatever data follows.
    RiffBuilder& chunkWithSize(std::string_view id, std::uint32_t size, const std::vector<std::uint8_t>& data,
                               bool pad = true)
    {
        bytes::appendText(image_, id);
        bytes::appendLE(image_, size);
        image_.insert(image_.end(), data.begin(), data.end());
        if (pad && (data.size() & 1))
            image_.push_back(0);
        return *this;
    }
    RiffBuilder& fmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t tag = 1)
    {
        return chunk("fmt ", fmtData(channels, rate, bits, tag));
    }
    // Fixes the RIFF size to the length and returns the image.
    std::vector<std::uint8_t> image() const
    {
        std::vector<std::uint8_t> out = image_;
        bytes::storeLE<std::uint32_t>(out, 4, static_cast<std::uint32_t>(out.size() - 8));
        return out;
    }

    static std::vector<std::uint8_t> fmtData(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                             std::uint16_t tag = 1)
    {
        std::vector<std::uint8_t> d;
        const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
        bytes::appendLE(d, tag);
        bytes::appendLE(d, channels);
        bytes::appendLE(d, rate);
        bytes::appendLE(d, rate * align);
        bytes::appendLE(d, align);
        bytes::appendLE(d, bits);
        return d;
    }
    // The 40-byte extensible fmt data.
    static std::vector<std::uint8_t> extensibleFmtData(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                                       std::uint16_t cbSize, std::uint16_t validBits,
                                                       std::uint32_t mask, std::uint16_t subFormat)
    {
        std::vector<std::uint8_t> d = fmtData(channels, rate, bits, 0xFFFE);
        bytes::appendLE(d, cbSize);
        bytes::appendLE(d, validBits);
        bytes::appendLE(d, mask);
        bytes::appendLE(d, subFormat);
        static constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        d.insert(d.end(), std::begin(kGuidTail), std::end(kGuidTail));
        return d;
    }

private:
    std::vector<std::uint8_t> image_;
};

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A directory of its own under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "auralune-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace auralune::test
