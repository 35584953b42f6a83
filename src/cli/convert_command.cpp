#include "app/metrics_report.h"
#include "app/queue_controller.h"
#include "app/selection_rules.h"
#include "app/settings_keys.h"
#include "app/settings_model.h"
#include "cli/commands.h"
#include "cli/console_services.h"
#include "cli/job_json.h"
#include "enhance/availability.h"
#include "formats/file_formats.h"
#include "formats/processing_mark.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include <sys/stat.h>

namespace auralune {

namespace {

struct ConvertRequest {
    std::vector<std::string> files;
    std::string enhancement1;   // empty: not given
    std::string enhancement2;
    std::string format;
    std::string outputDir;
    bool nextToSource = false;
    std::vector<std::string> overrides;   // KEY=VALUE
    bool metrics = false;
    bool repeatable = false;
    bool json = false;
    std::string onClipping;        // attenuate, clamp; empty: ask
    std::string convertedBefore;   // convert, skip; empty: ask
    int jobs = 0;                  // files converted at once; 0: the setting
};

struct FormatName {
    std::string_view name;
    std::uint32_t tag;
};

// The words of the file formats themselves come from their table.
constexpr std::array<FormatName, 10> kFormatNames{{
    {"unchanged", 1},
    {"wav-lr", 32}, {"wav-clfe", 64}, {"wav-slsr", 128},
    {"wav-l", 256}, {"wav-r", 512}, {"wav-c", 1024}, {"wav-lfe", 2048}, {"wav-sl", 4096}, {"wav-sr", 8192},
}};

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// An enhancement by display name, suffix code ("pa1") or code, in any
// case, or by the start of one display name only ("riaa" is ambiguous,
// "phonograph eq a1" is not). Nothing, with the reason, otherwise.
struct ParsedEnhancement {
    std::optional<EnhancementCode> code;
    std::string problem;
};

ParsedEnhancement parseEnhancement(const std::string& text)
{
    const SettingInput input = parseSettingInput(*findSetting(kFilterType1Key), text);
    if (input.value)
        return {std::stoull(std::get<std::string>(*input.value)), {}};
    const std::string typed = lowered(text);
    std::vector<const EnhancementType*> starting;
    for (const EnhancementType& type : kEnhancementTypes) {
        const std::string name = lowered(type.displayName);
        if (name == typed)
            return {type.code(), {}};
        if (!typed.empty() && name.rfind(typed, 0) == 0)
            starting.push_back(&type);
    }
    if (starting.size() == 1)
        return {starting.front()->code(), {}};
    if (starting.size() > 1) {
        std::string names;
        for (const EnhancementType* type : starting)
            names += (names.empty() ? "" : ", ") + std::string(type->displayName);
        return {std::nullopt, "enhancement '" + text + "' is ambiguous: " + names};
    }
    std::vector<std::string> all;
    for (const EnhancementType& type : kEnhancementTypes)
        all.push_back(lowered(type.displayName));
    std::string problem = "unknown enhancement '" + text + "' (see 'catalogue')";
    if (auto near = nearestName(typed, all))
        problem += "; did you mean '" + *near + "'?";
    return {std::nullopt, problem};
}

// An output format by CLI name ("wav-lr"), label ("WAV L+R") or tag.
std::optional<std::uint32_t> parseFormat(const std::string& text)
{
    const std::string word = lowered(text);
    for (const FileFormat& format : kFileFormats)
        if (format.formatWord == word)
            return static_cast<std::uint32_t>(format.fileType);
    for (const FormatName& format : kFormatNames)
        if (format.name == word)
            return format.tag;
    for (const OutputFormat& format : kOutputFormats)
        if (lowered(format.label) == word || std::to_string(format.tag) == word)
            return format.tag;
    return std::nullopt;
}

std::string enhancementName(EnhancementCode code)
{
    return std::string(findEnhancement(code)->displayName);
}

// The signal handlers only raise the flag; a second signal ends the program
// at once (the engine writes each destination atomically).
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int signal)
{
    gInterrupted = true;
    std::signal(signal, SIG_DFL);
}

class InterruptGuard {
public:
    InterruptGuard()
    {
        gInterrupted = false;
        previousInt_ = std::signal(SIGINT, onInterrupt);
        previousTerm_ = std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptGuard()
    {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
};

// What the dialogs' suppression boxes ask for: the setting changes for the
// rest of the run (through the queue controller, which observes the
// notification) and in the user's own store, as the preferences window
// would leave it.
class CliSettingsController final : public SettingsControllerInterface {
public:
    CliSettingsController(NotificationCenter& notifications, DefaultsStore& userStore, Log& log)
        : notifications_(notifications), userStore_(userStore), log_(log)
    {
    }
    void updateWarnPreprocess(bool warn) override
    {
        post(std::string(kSettingsUpdateWarnPreprocess), {{"warnPreprocess", warn}});
    }
    void updateClipManagement(int tag) override
    {
        post(std::string(kSettingsUpdateClipManagement), {{"clipManagement", tagText(static_cast<std::uint64_t>(tag))}});
    }

private:
    void post(const std::string& name, UserInfo info)
    {
        storeSettingsNotification(Notification{name, this, info}, userStore_, log_);
        notifications_.post(name, this, std::move(info));
    }

    NotificationCenter& notifications_;
    DefaultsStore& userStore_;
    Log& log_;
};

// FNV-1a of the file's base name: the same file name gives the same dither
// noise on every run.
std::uint32_t repeatableSeed(const std::string& path)
{
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : std::filesystem::path(path).filename().string()) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

// AURALUNE_STAGE_BUFFERS_ON_DISK=1 keeps every conversion's stage buffers
// in temporary files, as for a recording over the memory budget: a
// testing aid.
bool stageBuffersForcedOnDisk()
{
    const char* forced = std::getenv("AURALUNE_STAGE_BUFFERS_ON_DISK");
    return forced && std::string_view(forced) == "1";
}

// The date of a repeatable run's processing marks: SOURCE_DATE_EPOCH when
// set (the reproducible-builds convention), else the source's modification
// time.
std::time_t repeatableDate(const std::string& path)
{
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        errno = 0;
        const long long seconds = std::strtoll(epoch, &end, 10);
        if (errno == 0 && *end == '\0' && seconds >= 0)
            return static_cast<std::time_t>(seconds);
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

// One line per file: redrawn in place while it converts on a terminal,
// written once when it ends otherwise.
class ProgressLines final : public QueueObserver {
public:
    // Quiet: only the lines of failed files.
    ProgressLines(std::ostream& out, bool live, bool quiet) : out_(out), live_(live && !quiet), quiet_(quiet) {}

    // Only one file's line can be redrawn in place: with several files
    // converting at once, each line is written once, when its file ends.
    void stopLive() { live_ = false; }
    void setCurrent(const AudioFile* job) { current_ = job; }
    void jobRefreshed(const void* job) override
    {
        if (live_ && current_ && job == current_)
            draw(liveText(*current_));
    }
    void finish(const AudioFile& job)
    {
        if (quiet_ && job.error == 0)
            return;
        const std::string line = finalText(job);
        if (live_)
            draw(line);
        else
            out_ << line;
        out_ << '\n' << std::flush;
        current_ = nullptr;
    }

private:
    static std::string liveText(const AudioFile& job)
    {
        const TableTexts texts = job.tableTexts();
        auto text = [&](TableText which) { return trimmed(texts[static_cast<int>(which)]); };
        std::string line = text(TableText::SourceName) + ": " + text(TableText::State);
        const std::string progress = text(TableText::Progress);
        if (!progress.empty())
            line += " " + progress;
        return line;
    }
    static std::string finalText(const AudioFile& job)
    {
        const TableTexts texts = job.tableTexts();
        auto text = [&](TableText which) { return trimmed(texts[static_cast<int>(which)]); };
        std::string line = text(TableText::SourceName) + ": " + text(TableText::State);
        if (job.state == kStateConverted && job.error == 0)
            line += " -> " + text(TableText::DestinationName);
        else if (const std::string cause = job.errorCause(); !cause.empty())
            line += " (" + cause + ")";
        return line;
    }
    void draw(const std::string& line)
    {
        // Back to the start of the line and clear it.
        out_ << "\r\x1b[K" << line << std::flush;
    }

    std::ostream& out_;
    bool live_;
    bool quiet_;
    const AudioFile* current_ = nullptr;
};

// Checks the request and writes every choice into the run's own store.
// Returns an exit status when the request cannot run.
std::optional<int> applyRequest(CommandContext& context, const ConvertRequest& request, DefaultsStore& run)
{
    run.setString(std::string(kFilterType1Key), "1");
    run.setString(std::string(kFilterType2Key), "1");
    run.setString(std::string(kOutputFormatTypeKey), "1");
    for (const std::string& entry : request.overrides) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos)
            return context.fail(kExitUsage, "--set takes KEY=VALUE, not '" + entry + "'");
        const std::string key = entry.substr(0, equals);
        const SettingDefinition* setting = findSetting(key);
        if (!setting)
            return context.fail(kExitUsage, "unknown setting '" + key + "' (see 'settings list')");
        const SettingInput input = parseSettingInput(*setting, entry.substr(equals + 1));
        if (!input.value)
            return context.fail(kExitUsage, input.problem);
        if (const auto* text = std::get_if<std::string>(&*input.value))
            run.setString(key, *text);
        else
            run.setStringList(key, std::get<std::vector<std::string>>(*input.value));
    }

    SettingsModel model(run, context.services.log, context.services.musicFolder);
    EnhancementCode enhancement1 = model.filterType1();
    EnhancementCode enhancement2 = model.filterType2();
    std::uint32_t format = model.outputFormatType();
    if (!request.enhancement1.empty()) {
        const ParsedEnhancement parsed = parseEnhancement(request.enhancement1);
        if (!parsed.code)
            return context.fail(kExitUsage, parsed.problem);
        enhancement1 = *parsed.code;
    }
    if (!request.enhancement2.empty()) {
        const ParsedEnhancement parsed = parseEnhancement(request.enhancement2);
        if (!parsed.code)
            return context.fail(kExitUsage, parsed.problem);
        enhancement2 = *parsed.code;
    }
    if (!request.format.empty()) {
        auto tag = parseFormat(request.format);
        if (!tag)
            return context.fail(kExitUsage, "unknown output format '" + request.format + "' (unchanged, " +
                                                formatWords() +
                                                ", wav-lr, wav-clfe, wav-slsr, wav-l, wav-r, wav-c, wav-lfe, wav-sl, "
                                                "wav-sr)");
        format = *tag;
    }

    for (EnhancementCode code : {enhancement1, enhancement2})
        if (!enhancementAvailable(code))
            return context.fail(kExitUsage, "the enhancement \"" + enhancementName(code) + "\" is not available yet");
    if (!isAdmittedEnhancement2(enhancement1, enhancement2))
        return context.fail(kExitUsage, enhancement2NotSupportedText(enhancement2, enhancement1));
    const std::string formatLabel(findOutputFormat(format)->label);
    if (!outputFormatAvailable(format))
        return context.fail(kExitUsage, "the output format " + formatLabel + " is not available yet");
    if (!isOutputFormatOffered(format, enhancement1, enhancement2))
        return context.fail(kExitUsage, formatLabel + " is not supported with this enhancement");

    run.setString(std::string(kFilterType1Key), tagText(enhancement1));
    run.setString(std::string(kFilterType2Key), tagText(enhancement2));
    run.setString(std::string(kOutputFormatTypeKey), tagText(format));
    if (request.jobs > 0)
        run.setString(std::string(kSimultaneousConversionsKey), tagText(static_cast<std::uint64_t>(request.jobs)));
    if (request.nextToSource)
        run.setString(std::string(kDestinationFolderOptionKey), tagText(kDestinationNextToSource));
    if (!request.outputDir.empty()) {
        std::error_code error;
        const auto folder = std::filesystem::absolute(request.outputDir, error);
        if (error || !std::filesystem::is_directory(folder, error))
            return context.fail(kExitUsage, "the output folder '" + request.outputDir + "' does not exist");
        run.setString(std::string(kDestinationFolderOptionKey), tagText(kDestinationFolder));
        run.setString(std::string(kDestinationFolderKey), folder.lexically_normal().string());
    }
    return std::nullopt;
}

int convert(CommandContext& context, const ConvertRequest& request)
{
    Services& services = context.services;

    // The run's settings: the user's, with this command line's choices on
    // top. Nothing of the command line reaches the user's store.
    MemoryDefaultsStore run;
    registerDefaults(run, services.musicFolder);
    for (const std::string& key : services.defaults.storedKeys())
        if (auto stored = services.defaults.stored(key)) {
            if (const auto* text = std::get_if<std::string>(&*stored))
                run.setString(key, *text);
            else
                run.setStringList(key, std::get<std::vector<std::string>>(*stored));
        }
    if (auto status = applyRequest(context, request, run))
        return *status;

    NotificationCenter notifications;
    RunLoopMainThread mainThread;
    ConsoleAlertPresenter alerts(context.err, services.log, services.terminalInput);
    SilentBeeper beeper;
    SystemClock clock;
    SystemRandomSource random;
    Platform platform{services.log, run, notifications, mainThread, alerts, beeper, clock, random};
    CliSettingsController settingsController(notifications, services.defaults, services.log);

    QueueController::Options options;
    options.musicFolder = services.musicFolder;
    options.detachPasses = false;
    options.settingsController = &settingsController;
    if (request.repeatable) {
        options.randomSourceFor = [](const std::string& path) -> std::unique_ptr<RandomSource> {
            return std::make_unique<SystemRandomSource>(repeatableSeed(path));
        };
        options.clockFor = [](const std::string& path) -> std::unique_ptr<Clock> {
            return std::make_unique<FixedDateClock>(repeatableDate(path));
        };
    }
    QueueController queue(platform, options);
    // The options answer the two questions for every file, never asking.
    if (!request.onClipping.empty())
        queue.batchAlerts().setStandingAnswer(Alert::Kind::Clipping, request.onClipping == "clamp" ? 1 : 0);
    if (!request.convertedBefore.empty())
        queue.batchAlerts().setStandingAnswer(Alert::Kind::ConvertedBefore, 0);
    // With JSON on standard output, the progress lines go to standard error.
    std::ostream& progress = request.json ? context.err : context.out;
    ProgressLines lines(progress, services.liveProgress && !request.json, context.quiet);
    queue.setObserver(&lines);
    InterruptGuard interruptGuard;

    int refused = 0;
    for (const std::string& file : request.files)
        if (!queue.addNewFileToQueue(file)) {
            context.err << "auralune-cli: cannot convert '" << file << "': not a WAV, AIFF, AIFF-C or FLAC file\n";
            if (request.json)
                context.out << refusedJson(file) << '\n';
            ++refused;
        }
    queue.waitForPasses();

    // Every file that can be converted starts now; the processing lock lets
    // as many run at once as the setting and the memory budget allow, in
    // row order.
    std::vector<bool> skip(queue.size(), false);
    std::vector<std::size_t> targets;
    for (std::size_t row = 0; row < queue.size(); ++row) {
        AudioFile& job = queue.job(row);
        skip[row] = request.convertedBefore == "skip" && (job.warning_1 & kPriorEnhancementMask) != 0 && job.error == 0;
        if (!skip[row] && job.state == kStateAnalysed && job.error == 0) {
            if (stageBuffersForcedOnDisk())
                job.stageBuffersOnDisk.enabled = true;
            targets.push_back(row);
        }
    }
    if (queue.settings().tagValue(kSimultaneousConversionsKey) > 1 && targets.size() > 1)
        lines.stopLive();
    if (!targets.empty() && !gInterrupted)
        queue.processQueue(ConvertSender::Other, targets);

    // The lines go out in row order, each once its file has ended.
    int converted = 0, failed = refused, withWarnings = 0, skippedBefore = 0;
    std::vector<const AudioFile*> reported;
    std::size_t nextRow = 0;
    const auto ended = [](const AudioFile& job) {
        const int state = job.state;
        return state != kStateQueued && state != kStateConverting;
    };
    const auto report = [&] {
        for (; nextRow < queue.size() && ended(queue.job(nextRow)); ++nextRow) {
            const AudioFile& job = queue.job(nextRow);
            if (skip[nextRow]) {
                if (!context.quiet)
                    progress << trimmed(job.tableText(TableText::SourceName)) << ": skipped, converted before\n";
                ++skippedBefore;
                continue;
            }
            // Stopped by an interrupt before it started: not reported.
            if (job.state == kStateAnalysed && job.error == 0 &&
                (gInterrupted || std::find(targets.begin(), targets.end(), nextRow) == targets.end()))
                continue;
            lines.finish(job);
            if (request.json)
                context.out << jobJson(job) << '\n' << std::flush;
            if (job.state == kStateConverted && job.error == 0) {
                ++converted;
                reported.push_back(&job);
                if (job.warning != 0)
                    ++withWarnings;
            } else {
                ++failed;
            }
        }
        if (nextRow < queue.size())
            lines.setCurrent(&queue.job(nextRow));
    };
    // A first signal lets the converting files finish; no other starts.
    bool noticed = false;
    mainThread.runUntil([&] {
        if (gInterrupted && !noticed) {
            noticed = true;
            context.err << "\nauralune-cli: interrupted; finishing the current file\n";
            queue.stopAfterCurrentFile();
        }
        report();
        return !queue.hasRunningPasses();
    });
    queue.waitForPasses();
    report();

    const std::size_t skipped = request.files.size() - static_cast<std::size_t>(converted + failed + skippedBefore);
    if (!context.quiet) {
        progress << converted << " converted, " << failed << " failed, " << withWarnings << " with warnings";
        if (skippedBefore > 0)
            progress << ", " << skippedBefore << " skipped as converted before";
        if (skipped > 0)
            progress << ", " << skipped << " not started";
        progress << '\n';
    }
    if (request.metrics && !reported.empty())
        context.out << metricsReportText(metricsReportLines(reported));
    if (gInterrupted)
        return kExitInterrupted;
    return failed > 0 ? kExitFailure : kExitSuccess;
}

}  // namespace

void addConvertCommand(CLI::App& app, CommandContext& context)
{
    auto request = std::make_shared<ConvertRequest>();
    CLI::App* command = app.add_subcommand("convert", "Convert audio files; each source gets a new file");
    command->add_option("files", request->files, "WAV, AIFF, AIFF-C or FLAC files")->required();
    command->add_option("-1,--enhancement1", request->enhancement1,
                        "Enhancement 1: display name, its unique start, suffix code (pa1) or code; default None");
    command->add_option("-2,--enhancement2", request->enhancement2,
                        "Enhancement 2, admitted after Enhancement 1; default None");
    command->add_option("--format", request->format,
                        "unchanged (default, the source's own type), wav, aiff, aifc, flac, or a channel of a "
                        "six-channel result: "
                        "wav-lr, wav-clfe, wav-slsr, wav-l, wav-r, wav-c, wav-lfe, wav-sl, wav-sr");
    auto* outputDir = command->add_option("--output-dir", request->outputDir, "Write the files into this folder");
    auto* nextToSource = command->add_flag("--next-to-source", request->nextToSource,
                                           "Write each file next to its source");
    outputDir->excludes(nextToSource);
    command->add_option("--set", request->overrides, "KEY=VALUE: a setting for this run only (repeatable)")
        ->allow_extra_args(false);
    command->add_flag("--metrics", request->metrics, "Print the metrics report of the converted files");
    command->add_flag("--repeatable", request->repeatable,
                      "Seed the dither and groove noise from each file's name and date the files from SOURCE_DATE_EPOCH "
                      "or the source's modification time, so runs give identical files");
    command->add_flag("--json", request->json,
                      "Print one JSON object per file on standard output (progress goes to standard error)");
    command->add_option("--on-clipping", request->onClipping,
                        "attenuate or clamp: answer the clipping question for every file without asking")
        ->check(CLI::IsMember({"attenuate", "clamp"}));
    command->add_option("-j,--jobs", request->jobs,
                        "Convert up to N files at once, as many as fit the memory budget (1-64; default: the "
                        "SimultaneousConversions setting, the number of cores)")
        ->check(CLI::Range(1, 64));
    command->add_option("--converted-before", request->convertedBefore,
                        "convert or skip: what to do with files converted before, without asking")
        ->check(CLI::IsMember({"convert", "skip"}));
    command->callback([&context, request] { context.exitCode = convert(context, *request); });
}

}  // namespace auralune
