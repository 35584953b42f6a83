#include "app/window_selection.h"

#include "app/settings_model.h"

#include <string>
#include <utility>

namespace auralune {

std::string enhancementUnavailableText(EnhancementCode code)
{
    const EnhancementType* type = findEnhancement(code);
    return (type ? std::string(type->displayName) : std::to_string(code)) + " is not available yet";
}

WindowSelection::WindowSelection(DefaultsStore& store, Log& log, Availability available)
    : store_(store), log_(log), available_(std::move(available))
{
    // The music folder plays no part in the four choices.
    selection_ = loadSelection(SettingsModel(store_, log_, std::string()));
    apply(validateSelection(selection_));
}

bool WindowSelection::available(EnhancementCode code) const
{
    return code == kEnhancementNone || !available_ || available_(code);
}

void WindowSelection::enforceAvailability(SelectionMessages& messages)
{
    if (!available(selection_.filterType1)) {
        messages.push_back({true, enhancementUnavailableText(selection_.filterType1)});
        SelectionMessages changed = updateFilter1(selection_, kEnhancementNone);
        messages.insert(messages.end(), changed.begin(), changed.end());
    }
    if (!available(selection_.filterType2)) {
        messages.push_back({true, enhancementUnavailableText(selection_.filterType2)});
        SelectionMessages changed = updateFilter2(selection_, kEnhancementNone);
        messages.insert(messages.end(), changed.begin(), changed.end());
    }
}

void WindowSelection::apply(SelectionMessages messages)
{
    enforceAvailability(messages);
    for (const SelectionMessage& message : messages) {
        if (message.warning)
            log_.warning(message.text);
        else
            log_.info(message.text);
    }
    storeSelection(selection_, store_);
}

void WindowSelection::changeMode(std::uint32_t modeTag)
{
    apply(updateMode(selection_, modeTag));
}

void WindowSelection::changeFilter1(EnhancementCode code)
{
    apply(updateFilter1(selection_, code));
}

void WindowSelection::changeFilter2(EnhancementCode code)
{
    apply(updateFilter2(selection_, code));
}

void WindowSelection::changeOutputFormat(std::uint32_t tag)
{
    apply(updateOutputFormatType(selection_, tag));
}

bool WindowSelection::enhancement1Shown(EnhancementCode code) const
{
    return available(code) && (admittedEnhancement1(selection_.mode) & code) != 0;
}

bool WindowSelection::enhancement2Shown(EnhancementCode code) const
{
    if (code == kEnhancementNone)
        return true;
    const int position = enhancementPopupPosition(code);
    for (const PopupSection& section : kEnhancementPopupSections)
        if (position > section.markPosition && position <= section.markPosition + section.count &&
            !section.offeredAsEnhancement2)
            return false;
    return available(code) && isAdmittedEnhancement2(selection_.filterType1, code);
}

bool WindowSelection::enhancementSectionShown(const PopupSection& section, int stage) const
{
    for (int i = 0; i < section.count; ++i) {
        const EnhancementCode code = EnhancementCode{1} << section.bits[static_cast<std::size_t>(i)];
        if (stage == 1 ? enhancement1Shown(code) : enhancement2Shown(code))
            return true;
    }
    return false;
}

bool WindowSelection::outputFormatShown(std::uint32_t tag) const
{
    return isOutputFormatOffered(tag, selection_.filterType1, selection_.filterType2);
}

bool WindowSelection::channelSplittingShown() const
{
    return yieldsSixChannels(selection_.filterType1, selection_.filterType2);
}

}  // namespace auralune
