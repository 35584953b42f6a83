#include "platform/alerts.h"

namespace auralune {

void ScriptedAlertPresenter::enqueue(AlertAnswer answer)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

AlertAnswer ScriptedAlertPresenter::run(const Alert& alert)
{
    std::lock_guard lock(mutex_);
    shown_.push_back(alert);
    if (answers_.empty())
        return {};
    AlertAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::vector<Alert> ScriptedAlertPresenter::shown() const
{
    std::lock_guard lock(mutex_);
    return shown_;
}

}  // namespace auralune
