#include "platform/defaults_store.h"

namespace auralune {

void DefaultsStore::registerDefaults(const std::map<std::string, StoredValue>& defaults)
{
    std::lock_guard lock(defaultsMutex_);
    for (const auto& [key, value] : defaults)
        defaults_.insert_or_assign(key, value);
}

std::optional<StoredValue> DefaultsStore::registeredDefault(const std::string& key) const
{
    std::lock_guard lock(defaultsMutex_);
    auto it = defaults_.find(key);
    if (it == defaults_.end())
        return std::nullopt;
    return it->second;
}

std::optional<StoredValue> DefaultsStore::value(const std::string& key) const
{
    if (auto v = stored(key))
        return v;
    return registeredDefault(key);
}

std::optional<std::string> DefaultsStore::string(const std::string& key) const
{
    auto v = value(key);
    if (!v || !std::holds_alternative<std::string>(*v))
        return std::nullopt;
    return std::get<std::string>(*v);
}

std::optional<std::vector<std::string>> DefaultsStore::stringList(const std::string& key) const
{
    auto v = value(key);
    if (!v || !std::holds_alternative<std::vector<std::string>>(*v))
        return std::nullopt;
    return std::get<std::vector<std::string>>(*v);
}

std::vector<std::string> MemoryDefaultsStore::storedKeys() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    for (const auto& entry : values_)
        keys.push_back(entry.first);
    return keys;
}

std::optional<StoredValue> MemoryDefaultsStore::stored(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

void MemoryDefaultsStore::store(const std::string& key, const StoredValue& value)
{
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(key, value);
}

void MemoryDefaultsStore::erase(const std::string& key)
{
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

}  // namespace auralune
