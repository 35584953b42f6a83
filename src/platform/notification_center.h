#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>

namespace auralune {

// A user-info value: notifications carry switches, tags, reals and texts.
using NotificationValue = std::variant<bool, std::int64_t, std::uint64_t, double, std::string>;
using UserInfo = std::map<std::string, NotificationValue>;

struct Notification {
    std::string name;
    const void* object = nullptr;
    UserInfo userInfo;
};

// Posts by name to every observer of that name, synchronously on the
// posting thread (as the platform's default centre does). Observers may be
// added or removed from inside a callback.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;
    using Token = std::uint64_t;

    Token observe(const std::string& name, Observer observer);
    void remove(Token token);
    void post(const std::string& name, const void* object = nullptr, UserInfo userInfo = {});

private:
    struct Entry {
        std::string name;
        std::shared_ptr<Observer> observer;
    };
    std::mutex mutex_;
    std::map<Token, Entry> observers_;
    Token next_ = 1;
};

}  // namespace auralune
