#include "app/metrics_report.h"
#include "app/settings_model.h"
#include "app/worker_pool.h"
#include "cli/console_services.h"
#include "cli/commands.h"
#include "cli/job_json.h"
#include "engine/audio_file.h"
#include "engine/pass_lock.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace auralune {

namespace {

void printRow(std::ostream& out, const AudioFile& job)
{
    const TableTexts texts = job.tableTexts();
    auto text = [&](TableText which) { return trimmed(texts[static_cast<int>(which)]); };
    std::string state = text(TableText::State);
    if (const std::string cause = job.errorCause(); job.error != 0 && !cause.empty())
        state += " (" + cause + ")";
    out << text(TableText::SourceName) << '\n'
        << "  Type:      " << text(TableText::FileType) << '\n'
        << "  State:     " << state << '\n'
        << "  Duration:  " << text(TableText::Duration) << '\n'
        << "  Rate:      " << text(TableText::FrameRate) << '\n'
        << "  Channels:  " << text(TableText::Channels) << '\n'
        << "  Bits:      " << text(TableText::SampleSizeBits) << '\n';
}

struct AnalyseRequest {
    std::vector<std::string> files;
    bool metrics = false;
    bool json = false;
};

int analyse(CommandContext& context, const AnalyseRequest& request)
{
    const std::vector<std::string>& files = request.files;
    Services& services = context.services;
    ConsolePlatform console(services, context.err);
    const Platform& platform = console.platform;
    RunLoopMainThread& mainThread = console.mainThread;

    const SettingsModel model(services.defaults, services.log, services.musicFolder);
    PassLock analyseAudioLock;
    const SettingsSnapshot snapshot = model.snapshot(&analyseAudioLock);
    const bool showExtension = model.switchValue("ShowFileExt");
    const bool showFullPath = model.switchValue("ShowFullPath");

    std::vector<std::unique_ptr<AudioFile>> jobs;
    for (const std::string& file : files) {
        jobs.push_back(std::make_unique<AudioFile>(platform));
        jobs.back()->initWithName(file, showExtension, showFullPath);
    }
    {
        // A bounded set of threads; a pass that cannot get one fails its file.
        WorkerPool pool;
        for (auto& job : jobs) {
            AudioFile* pass = job.get();
            pass->state = kStateAnalysing;
            pool.submit([pass, &snapshot] { pass->AnalyseFileThread(snapshot); },
                        [pass](const std::string& reason) {
                            pass->error |= kErrorMemory;
                            pass->setErrorCause(reason);
                            pass->composeErrorStateText();
                            pass->state = kStateAnalysed;
                        });
        }
        mainThread.runUntil([&] {
            for (const auto& job : jobs)
                if (job->state != kStateAnalysed)
                    return false;
            return true;
        });
    }
    mainThread.runPending();

    bool failed = false;
    for (const auto& job : jobs) {
        if (request.json)
            context.out << jobJson(*job) << '\n';
        else if (!context.quiet || job->error != 0)
            printRow(context.out, *job);
        failed |= job->error != 0;
    }
    if (request.metrics) {
        std::vector<const AudioFile*> rows;
        for (const auto& job : jobs)
            rows.push_back(job.get());
        context.out << metricsReportText(metricsReportLines(rows));
    }
    return failed ? kExitFailure : kExitSuccess;
}

}  // namespace

void addAnalyseCommand(CLI::App& app, CommandContext& context)
{
    CLI::App* command = app.add_subcommand("analyse", "Analyse audio files and show their table rows");
    command->alias("analyze");
    auto request = std::make_shared<AnalyseRequest>();
    command->add_option("files", request->files, "WAV, AIFF, AIFF-C or FLAC files")->required();
    command->add_flag("--metrics", request->metrics, "Also print the metrics report of the sources");
    command->add_flag("--json", request->json, "Print one JSON object per file instead of the rows");
    command->callback([&context, request] { context.exitCode = analyse(context, *request); });
}

}  // namespace auralune
