#pragma once

#include "platform/defaults_store.h"

#include <memory>

class QSettings;

namespace auralune {

// The per-user defaults store shared by the desktop app and the CLI:
// QSettings in native (INI) format under the XDG config directory,
// ~/.config/Auralune/Auralune.ini.
class QtDefaultsStore final : public DefaultsStore {
public:
    QtDefaultsStore();
    // A store at an explicit file, for tests.
    explicit QtDefaultsStore(const std::string& iniFile);
    ~QtDefaultsStore() override;

    std::vector<std::string> storedKeys() const override;
    std::optional<StoredValue> stored(const std::string& key) const override;
    std::optional<std::string> writeProblem() const override;
    void sync();

protected:
    void store(const std::string& key, const StoredValue& value) override;
    void erase(const std::string& key) override;

private:
    void syncAndCheck();
    std::unique_ptr<QSettings> settings_;
    std::optional<std::string> writeProblem_;
};

}  // namespace auralune
