// libFuzzer target: the processing-mark decoder over arbitrary chunk data:
// the layout chosen from the version text, the two enhancement codes, the
// prior-conversion flags and names, and the job's reading of the mark when
// analysing and when converting. A decoded mark must encode back to the
// same fields.

#include "engine/audio_file.h"
#include "formats/processing_mark.h"
#include "fuzz_services.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace auralune;
    static fuzz::Services services;
    const std::span<const std::uint8_t> chunk(data, size);

    if (const auto mark = decodeProcessingMark(chunk)) {
        const PriorConversion prior = priorConversion(mark->enhancement1, mark->enhancement2, mark->layout);
        (void)prior;
        if (mark->layout == 2) {
            const bytes::Buffer again =
                encodeProcessingMark(mark->version, mark->enhancement1, mark->enhancement2, mark->date, false);
            const auto decoded = decodeProcessingMark(std::span<const std::uint8_t>(again).subspan(8));
            if (!decoded || decoded->enhancement1 != mark->enhancement1 ||
                decoded->enhancement2 != mark->enhancement2 || decoded->date != mark->date)
                __builtin_trap();
        }
    }
    for (bool headerOnly : {true, false}) {
        AudioFile job(services.platform);
        job.initWithName("fuzz.wav", false, false);
        job.settings.warnPreprocess = size % 2 == 1;
        job.ReadMetadataChunk(chunk, headerOnly);
        // An unknown code never refuses the file.
        if (job.error != 0)
            __builtin_trap();
        (void)job.readyStateText();
        (void)job.completedStateText();
    }
    services.mainThread.runPending();
    return 0;
}
