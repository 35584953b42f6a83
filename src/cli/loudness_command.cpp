#include "app/settings_model.h"
#include "cli/commands.h"
#include "cli/console_services.h"
#include "cli/json.h"
#include "engine/audio_file.h"
#include "engine/source_samples.h"
#include "engine/text_format.h"

#include <CLI/CLI.hpp>

#include <array>
#include <memory>
#include <optional>
#include <ostream>

namespace auralune {

namespace {

// The five values of one file, each empty when it could not be measured.
struct FileLoudness {
    std::string path;
    std::string errorText;   // empty: measured
    std::array<std::optional<double>, 5> values;
};

struct ValueName {
    const char* jsonKey;
    const char* label;
    const char* unit;
};

// In the job's field order (and the order of its measured bits).
constexpr std::array<ValueName, 5> kValueNames{{
    {"integratedLufs", "Integrated:     ", "LUFS"},
    {"loudnessRangeLu", "Range:          ", "LU"},
    {"truePeakDbtp", "True peak:      ", "dBTP"},
    {"maxMomentaryLufs", "Max momentary:  ", "LUFS"},
    {"maxShortTermLufs", "Max short-term: ", "LUFS"},
}};

// Analyses, reads and measures one source on this thread, as the
// processing pass would before its first stage, without converting it.
FileLoudness measureFile(const Platform& platform, const SettingsSnapshot& snapshot, const std::string& path)
{
    AudioFile job(platform);
    job.initWithName(path, true, true);
    job.AnalyseFileThread(snapshot);
    if (job.error == 0)
        readSourceSamples(job);
    if (job.error == 0)
        job.ConvertAudioToDouble();
    if (job.error == 0) {
        job.settings.calculateSrcR128 = true;
        job.AnalyseAudioMetricsR128(1);
    }
    job.releaseWorkBuffers();

    FileLoudness result{path, {}, {}};
    if (job.error != 0) {
        result.errorText = errorTexts(job.error);
        while (!result.errorText.empty() && result.errorText.back() == ' ')
            result.errorText.pop_back();
        return result;
    }
    const std::array<double, 5> values{job.srcLoudnessValue, job.srcLoudnessRange, job.srcMaxTruePeakLevel,
                                       job.srcMaxMomentaryLoudness, job.srcMaxShortTermLoudness};
    for (std::size_t i = 0; i < values.size(); ++i)
        if ((job.srcLoudnessMeasured >> i) & 1u)
            result.values[i] = values[i];
    return result;
}

void printText(std::ostream& out, const FileLoudness& file)
{
    out << file.path << '\n';
    if (!file.errorText.empty()) {
        out << "  Error:          " << file.errorText << '\n';
        return;
    }
    for (std::size_t i = 0; i < kValueNames.size(); ++i) {
        out << "  " << kValueNames[i].label;
        if (file.values[i])
            out << formatText("%.1f ", *file.values[i]) << kValueNames[i].unit << '\n';
        else
            out << "not measured (track too short)\n";
    }
}

void printJson(std::ostream& out, const FileLoudness& file)
{
    JsonWriter json;
    json.beginObject().key("file").value(file.path);
    for (std::size_t i = 0; i < kValueNames.size(); ++i) {
        json.key(kValueNames[i].jsonKey);
        if (file.values[i])
            json.value(*file.values[i]);
        else
            json.null();
    }
    json.key("error");
    if (file.errorText.empty())
        json.null();
    else
        json.value(file.errorText);
    out << json.endObject().text() << '\n';
}

int loudness(CommandContext& context, const std::vector<std::string>& files, bool asJson)
{
    Services& services = context.services;
    ConsolePlatform console(services, context.err);
    const SettingsModel model(services.defaults, services.log, services.musicFolder);
    const SettingsSnapshot snapshot = model.snapshot(nullptr);
    // Measuring asks nothing: the already-processed question is for
    // conversions (the analysis reads it from the store it is given).
    MemoryDefaultsStore noQuestions;
    noQuestions.setString("WarnPreprocess", "NO");
    const Platform& p = console.platform;
    const Platform platform{p.log, noQuestions, p.notifications, p.mainThread, p.alerts, p.beeper, p.clock, p.random};

    bool failed = false;
    for (const std::string& path : files) {
        const FileLoudness file = measureFile(platform, snapshot, path);
        console.mainThread.runPending();
        failed |= !file.errorText.empty();
        if (asJson)
            printJson(context.out, file);
        else
            printText(context.out, file);
    }
    return failed ? kExitFailure : kExitSuccess;
}

}  // namespace

void addLoudnessCommand(CLI::App& app, CommandContext& context)
{
    CLI::App* command =
        app.add_subcommand("loudness", "Measure the EBU R128 loudness of audio files without converting them");
    auto files = std::make_shared<std::vector<std::string>>();
    auto asJson = std::make_shared<bool>(false);
    command->add_option("files", *files, "WAV, AIFF, AIFF-C or FLAC files")->required();
    command->add_flag("--json", *asJson,
                      "One JSON object per file and line; null for a value the file is too short for");
    command->callback([&context, files, asJson] { context.exitCode = loudness(context, *files, *asJson); });
}

}  // namespace auralune
