#pragma once

#include "platform/main_thread.h"

namespace auralune {

// Main-thread dispatch through the Qt event loop of the application object;
// for the desktop app, whose windows and dialogs live on that thread.
class QtMainThread final : public MainThread {
public:
    void async(std::function<void()> task) override;
    void sync(std::function<void()> task) override;
};

}  // namespace auralune
