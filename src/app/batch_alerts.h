#pragma once

#include "platform/alerts.h"

#include <map>
#include <mutex>
#include <optional>
#include <string_view>

namespace auralune {

inline constexpr std::string_view kApplyToBatchTitle = "Apply to the rest of this batch";

// Stands between the jobs and the presenter that shows their questions, so
// that a batch can run unattended: the converted-before and clipping
// questions offer "Apply to the rest of this batch", and once it is ticked
// the same answer is given without asking until the batch is forgotten. A
// standing answer (a command-line option) is given without ever asking.
// Other alerts pass through. Called on the main thread; thread-safe.
class BatchAlertPresenter final : public AlertPresenter {
public:
    explicit BatchAlertPresenter(AlertPresenter& shown) : shown_(shown) {}

    AlertAnswer run(const Alert& alert) override;
    void setStandingAnswer(Alert::Kind kind, int button);
    // The next question of this kind is asked again (a new batch starts).
    void forget(Alert::Kind kind);

private:
    AlertPresenter& shown_;
    std::mutex mutex_;
    std::map<Alert::Kind, int> remembered_;
    std::map<Alert::Kind, int> standing_;
};

}  // namespace auralune
