#include "app/metrics_report.h"
#include "app/settings_model.h"
#include "cli/console_services.h"
#include "cli/commands.h"
#include "engine/audio_file.h"
#include "engine/pass_lock.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <thread>

namespace auralune {

namespace {

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void printRow(std::ostream& out, const AudioFile& job)
{
    const TableTexts texts = job.tableTexts();
    auto text = [&](TableText which) { return trimmed(texts[static_cast<int>(which)]); };
    out << text(TableText::SourceName) << '\n'
        << "  Type:      " << text(TableText::FileType) << '\n'
        << "  State:     " << text(TableText::State) << '\n'
        << "  Duration:  " << text(TableText::Duration) << '\n'
        << "  Rate:      " << text(TableText::FrameRate) << '\n'
        << "  Channels:  " << text(TableText::Channels) << '\n'
        << "  Bits:      " << text(TableText::SampleSizeBits) << '\n';
}

int analyse(CommandContext& context, const std::vector<std::string>& files, bool withMetrics)
{
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
    std::vector<std::thread> passes;
    for (auto& job : jobs)
        passes.push_back(job->analysisThread(snapshot));
    mainThread.runUntil([&] {
        for (const auto& job : jobs)
            if (job->state != kStateAnalysed)
                return false;
        return true;
    });
    for (auto& pass : passes)
        pass.join();
    mainThread.runPending();

    bool failed = false;
    for (const auto& job : jobs) {
        printRow(context.out, *job);
        failed |= job->error != 0;
    }
    if (withMetrics) {
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
    auto files = std::make_shared<std::vector<std::string>>();
    auto withMetrics = std::make_shared<bool>(false);
    command->add_option("files", *files, "WAV, AIFF, AIFF-C or FLAC files")->required();
    command->add_flag("--metrics", *withMetrics, "Also print the metrics report of the sources");
    command->callback([&context, files, withMetrics] { context.exitCode = analyse(context, *files, *withMetrics); });
}

}  // namespace auralune
