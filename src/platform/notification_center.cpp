#include "platform/notification_center.h"

#include <vector>

namespace auralune {

NotificationCenter::Token NotificationCenter::observe(const std::string& name, Observer observer)
{
    std::lock_guard lock(mutex_);
    Token token = next_++;
    observers_.emplace(token, Entry{name, std::make_shared<Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::remove(Token token)
{
    std::lock_guard lock(mutex_);
    observers_.erase(token);
}

void NotificationCenter::post(const std::string& name, const void* object, UserInfo userInfo)
{
    // Copy the matching observers first so that callbacks run without the
    // lock and may observe, remove or post themselves.
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [token, entry] : observers_)
            if (entry.name == name)
                matching.push_back(entry.observer);
    }
    const Notification notification{name, object, std::move(userInfo)};
    for (const auto& observer : matching)
        (*observer)(notification);
}

}  // namespace auralune
