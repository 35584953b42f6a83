#include "app/batch_alerts.h"

namespace auralune {

AlertAnswer BatchAlertPresenter::run(const Alert& alert)
{
    if (alert.kind == Alert::Kind::Other)
        return shown_.run(alert);
    {
        std::lock_guard lock(mutex_);
        if (auto it = standing_.find(alert.kind); it != standing_.end())
            return {it->second, false, false};
        if (auto it = remembered_.find(alert.kind); it != remembered_.end())
            return {it->second, false, true};
    }
    Alert asked = alert;
    asked.batchTitle = kApplyToBatchTitle;
    const AlertAnswer answer = shown_.run(asked);
    if (answer.forBatch) {
        std::lock_guard lock(mutex_);
        remembered_[alert.kind] = answer.button;
    }
    return answer;
}

void BatchAlertPresenter::setStandingAnswer(Alert::Kind kind, int button)
{
    std::lock_guard lock(mutex_);
    standing_[kind] = button;
}

void BatchAlertPresenter::forget(Alert::Kind kind)
{
    std::lock_guard lock(mutex_);
    remembered_.erase(kind);
}

}  // namespace auralune
