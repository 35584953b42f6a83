#pragma once

#include "app/queue_controller.h"
#include "app/workspace.h"
#include "support/sample_job.h"
#include "support/wav_fixtures.h"

#include <initializer_list>
#include <memory>
#include <string>

namespace auralune::test {

// Remembers what was asked of the desktop.
struct RecordingWorkspace final : Workspace {
    void openFile(const std::string& path) override { opened.push_back(path); }
    void revealFiles(const std::vector<std::string>& paths) override { revealed.push_back(paths); }
    void openFolder(const std::string& path) override { folders.push_back(path); }
    bool writeToPasteBoard(const std::vector<std::string>& lines) override
    {
        pasted.push_back(lines);
        return true;
    }
    std::vector<std::string> opened;
    std::vector<std::vector<std::string>> revealed;
    std::vector<std::string> folders;
    std::vector<std::vector<std::string>> pasted;
};

// A queue controller on test services whose passes run to the end before
// waitForPasses() returns, with 0.1 s silent stereo WAV files to queue.
struct QueueHarness {
    QueueHarness() : queue(std::make_unique<QueueController>(services.platform, options())) {}
    ~QueueHarness() { queue.reset(); }

    QueueController::Options options()
    {
        registerDefaults(services.defaults, dir.path().string());
        // One pass at a time unless a test asks for more, whatever the machine.
        services.defaults.setString("SimultaneousConversions", "1");
        QueueController::Options o;
        o.musicFolder = dir.path().string();
        o.detachPasses = false;
        o.settingsController = &settingsController;
        return o;
    }
    std::string wav(const std::string& name) const
    {
        const auto path = dir.path() / name;
        writeFile(path, RiffBuilder().fmt(2, 44100, 16).chunk("data", std::vector<std::uint8_t>(4410 * 4)).image());
        return path.string();
    }
    // Queues the files and waits for their analyses.
    void addAnalysed(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            queue->addNewFileToQueue(wav(name));
        queue->waitForPasses();
    }

    TempDir dir;
    TestPlatform services;
    RecordingSettingsController settingsController;
    std::unique_ptr<QueueController> queue;
};

}  // namespace auralune::test
