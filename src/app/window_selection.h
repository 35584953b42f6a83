#pragma once

#include "app/selection_rules.h"
#include "engine/catalogue.h"
#include "platform/defaults_store.h"
#include "platform/log.h"

#include <cstdint>
#include <functional>

namespace auralune {

// The four choices of the main window as the popups drive them: every
// change runs the cascade of the selection rules, logs what it did, stores
// the choices and the remembered arrays, and says which popup entries are
// shown. On top of the rules, only enhancements whose routines exist may be
// chosen: an unavailable one is hidden, and a stored or remembered one is
// corrected to "None" with a warning.
class WindowSelection {
public:
    using Availability = std::function<bool(EnhancementCode)>;

    // Loads the stored choices (load rules applied) and validates them as
    // the window does when it opens.
    WindowSelection(DefaultsStore& store, Log& log, Availability available);

    const Selection& selection() const { return selection_; }

    void changeMode(std::uint32_t modeTag);
    void changeFilter1(EnhancementCode code);
    void changeFilter2(EnhancementCode code);
    void changeOutputFormat(std::uint32_t tag);

    // Which entries the popups show.
    bool enhancement1Shown(EnhancementCode code) const;
    bool enhancement2Shown(EnhancementCode code) const;
    // A section mark shows with the first shown type of its section.
    bool enhancementSectionShown(const PopupSection& section, int stage) const;
    bool outputFormatShown(std::uint32_t tag) const;
    // The separators of the channel-splitting formats (output positions 6-16).
    bool channelSplittingShown() const;

private:
    void apply(SelectionMessages messages);
    void enforceAvailability(SelectionMessages& messages);
    bool available(EnhancementCode code) const;

    DefaultsStore& store_;
    Log& log_;
    Availability available_;
    Selection selection_;
};

// "%@ is not available yet", the warning of an enhancement without routines.
std::string enhancementUnavailableText(EnhancementCode code);

}  // namespace auralune
