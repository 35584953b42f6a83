#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace auralune {

// A stored value: a string, or a string list for the two remembered-choice
// arrays. Everything else is stored as text in the form its key prescribes.
using StoredValue = std::variant<std::string, std::vector<std::string>>;

// The per-user defaults store. Registered defaults answer for keys that have
// never been set; they are not written to the store.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    void registerDefaults(const std::map<std::string, StoredValue>& defaults);

    // The stored value, else the registered default, else nothing.
    std::optional<StoredValue> value(const std::string& key) const;
    // The value when it is a string (stored or registered).
    std::optional<std::string> string(const std::string& key) const;
    // The value when it is a list (stored or registered).
    std::optional<std::vector<std::string>> stringList(const std::string& key) const;

    void setString(const std::string& key, const std::string& value) { store(key, value); }
    void setStringList(const std::string& key, const std::vector<std::string>& value) { store(key, value); }
    // Forgets the stored value; the registered default answers again.
    void remove(const std::string& key) { erase(key); }

    std::optional<StoredValue> registeredDefault(const std::string& key) const;
    // Keys that have a stored value (not only a registered default).
    virtual std::vector<std::string> storedKeys() const = 0;
    virtual std::optional<StoredValue> stored(const std::string& key) const = 0;
    // Why the last change could not be kept (the store's file cannot be
    // written), or nothing when it was.
    virtual std::optional<std::string> writeProblem() const { return std::nullopt; }

protected:
    virtual void store(const std::string& key, const StoredValue& value) = 0;
    virtual void erase(const std::string& key) = 0;

private:
    mutable std::mutex defaultsMutex_;
    std::map<std::string, StoredValue> defaults_;
};

// Kept in memory only; for tests and for runs that must not touch the user's
// settings.
class MemoryDefaultsStore final : public DefaultsStore {
public:
    std::vector<std::string> storedKeys() const override;
    std::optional<StoredValue> stored(const std::string& key) const override;

protected:
    void store(const std::string& key, const StoredValue& value) override;
    void erase(const std::string& key) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, StoredValue> values_;
};

}  // namespace auralune
