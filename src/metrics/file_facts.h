#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The file-facts lines of the metrics report, shared by the source,
// mid-enhancement and destination stages.
namespace auralune::metrics {

// Stage numbers of the metrics operations.
enum MetricsStage : int {
    kStageSource = 1,
    kStageMidEnhancement = 2,   // after Enhancement 1, when an Enhancement 2 follows
    kStageDestination = 4,
};

// "source", "mid-enhancement" or "destination", as in "Analysing the %s audio
// basic metrics"; nothing for another number.
const char* stageName(int stage);

// Whole seconds of frames at a rate, truncated, as "%02lu:%02lu" (minutes
// are not limited to two digits). A rate that is not positive gives 00:00.
std::string durationText(std::uint64_t frames, double frameRate);

// "Time = ", "Frames = ", "Frame Rate = ", "Channels = ", "Bit Depth = ".
std::vector<std::string> fileFactsLines(std::uint32_t frames, double frameRate, std::uint32_t channels,
                                        std::uint32_t bits);

struct MetadataSizes {
    std::uint64_t id3Bytes = 0;
    std::uint64_t bextBytes = 0;
    std::uint64_t ixmlBytes = 0;
    std::uint64_t vorbisComments = 0;   // a count of comments, not bytes
    std::uint64_t pictureBytes = 0;
};

// One line per carried item that is not empty, in the order ID3v2, bext,
// iXML, Vorbis comments, picture; empty when nothing is carried.
std::vector<std::string> metadataSummaryLines(const MetadataSizes& sizes);

// A point in time as "yyyy-MM-dd HH:mm:ss +0000" (UTC).
std::string dateDescription(std::time_t when);

}  // namespace auralune::metrics
