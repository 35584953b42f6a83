// libFuzzer target: the whole analysis pass over arbitrary bytes saved as a
// .wav file: the reader, the processing mark and its warning, the
// validation of rate, channels and depth, the file facts and the metadata
// reports, and the row texts made from them.

#include "engine/audio_file.h"
#include "fuzz_services.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using namespace auralune;

// One file per fuzzing process, rewritten for every input, in TMPDIR
// (scripts/fuzz.sh points it at a scratch folder it removes).
const std::string& sourcePath()
{
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder && *folder ? folder : "/tmp") + "/auralune-analysis-fuzz-" +
               std::to_string(::getpid()) + ".wav";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::Services services;
    {
        std::ofstream file(sourcePath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The already-processed warning asks through the settings.
    services.defaults.setString("WarnPreprocess", size % 2 ? "YES" : "NO");

    AudioFile job(services.platform);
    job.initWithName(sourcePath(), size % 3 == 0, size % 5 == 0);
    job.AnalyseFileThread(SettingsSnapshot{});
    if (job.state != kStateAnalysed)
        __builtin_trap();
    // The texts the table and the reports show.
    const TableTexts texts = job.tableTexts();
    if (job.error == 0 && texts[static_cast<int>(TableText::State)].rfind("Ready to convert. ", 0) != 0)
        __builtin_trap();
    (void)job.readyStateText();
    services.mainThread.runPending();
    return 0;
}
