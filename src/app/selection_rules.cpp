#include "app/selection_rules.h"

#include "enhance/availability.h"

#include "app/settings_keys.h"
#include "app/settings_model.h"
#include "engine/assertion.h"

#include <charconv>

namespace auralune {

namespace {

constexpr const char* kFilterPopup1Method = "-[TableViewController validateFilterPopup_1]";
constexpr const char* kFilterGroupMethod = "-[TableViewController getFilterGroup_1]";

static_assert(kEnhancement2AdmittedByGroup[1] == kEnhancement2AdmittedByGroup[3]);
static_assert((admission::kAfterRestoration & ~admission::kAfterUnlimiting) == EnhancementCode{1} << 33,
              "after Unlimiting, everything admitted after the restoration types but Unlimiting itself");

constexpr bool admitsNone()
{
    for (EnhancementMask mask : kEnhancement2AdmittedByGroup)
        if ((mask & kEnhancementNone) == 0)
            return false;
    return true;
}
static_assert(admitsNone());

const Mode& modeOrAssert(std::uint32_t modeTag, const char* method)
{
    const Mode* mode = findMode(modeTag);
    if (!mode)
        raiseAssertion("Unexpected paramter in %s", method);
    return *mode;
}

const EnhancementType& typeOrAssert(EnhancementCode code, const char* method)
{
    const EnhancementType* type = findEnhancement(code);
    if (!type)
        raiseAssertion("Unexpected paramter in %s", method);
    return *type;
}

std::string name(EnhancementCode code)
{
    const EnhancementType* type = findEnhancement(code);
    return type ? std::string(type->displayName) : std::to_string(code);
}

std::string formatLabel(std::uint32_t tag)
{
    const OutputFormat* format = findOutputFormat(tag);
    return format ? std::string(format->label) : std::to_string(tag);
}

EnhancementCode codeOfEntry(const std::vector<std::string>& entries, std::size_t index)
{
    if (index >= entries.size())
        return kEnhancementNone;
    const std::string& text = entries[index];
    std::uint64_t code = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (ec != std::errc() || end != text.data() + text.size() || !findEnhancement(code))
        return kEnhancementNone;
    return code;
}

void replaceEntry(std::vector<std::string>& entries, std::size_t index, EnhancementCode code)
{
    // Entries are replaced in place; an array shorter than the index was
    // never extended as loaded, which the load rules rule out.
    if (index < entries.size())
        entries[index] = std::to_string(code);
}

void info(SelectionMessages& messages, std::string text)
{
    messages.push_back({false, std::move(text)});
}

void warn(SelectionMessages& messages, std::string text)
{
    messages.push_back({true, std::move(text)});
}

void validateOutputFormat(Selection& selection, SelectionMessages& messages)
{
    if (yieldsSixChannels(selection.filterType1, selection.filterType2))
        return;
    const OutputFormat* format = findOutputFormat(selection.outputFormatType);
    if (format && format->needsSixChannels) {
        warn(messages, outputFormatNotSupportedText(selection.outputFormatType));
        const SelectionMessages changed = updateOutputFormatType(selection, 1);
        messages.insert(messages.end(), changed.begin(), changed.end());
    }
}

// Records an Enhancement 2 choice and re-checks the output format.
void applyFilter2(Selection& selection, EnhancementCode code, SelectionMessages& messages)
{
    selection.filterType2 = code;
    info(messages, "Enhancement 2 changed: " + name(code) + " (" + std::to_string(code) + ")");
    rememberEnhancement2(selection.filterDefaults2, selection.filterType1, code);
    validateOutputFormat(selection, messages);
}

void validateFilter2(Selection& selection, SelectionMessages& messages)
{
    applyFilter2(selection, rememberedEnhancement2(selection.filterDefaults2, selection.filterType1), messages);
    if (!isAdmittedEnhancement2(selection.filterType1, selection.filterType2)) {
        warn(messages, enhancement2NotSupportedText(selection.filterType2, selection.filterType1));
        applyFilter2(selection, kEnhancementNone, messages);
    }
}

void applyFilter1(Selection& selection, EnhancementCode code, SelectionMessages& messages)
{
    selection.filterType1 = code;
    info(messages, "Enhancement 1 changed: " + name(code) + " (" + std::to_string(code) + ")");
    rememberEnhancement1(selection.filterDefaults1, selection.mode, code);
    validateFilter2(selection, messages);
    validateOutputFormat(selection, messages);
}

void validateFilter1(Selection& selection, SelectionMessages& messages)
{
    const EnhancementMask admitted = admittedEnhancement1(selection.mode);
    applyFilter1(selection, rememberedEnhancement1(selection.filterDefaults1, selection.mode), messages);
    if ((selection.filterType1 & admitted) == 0) {
        warn(messages, enhancement1NotSupportedText(selection.filterType1, selection.mode));
        applyFilter1(selection, kEnhancementNone, messages);
    }
}

}  // namespace

EnhancementMask admittedEnhancement1(std::uint32_t modeTag)
{
    modeOrAssert(modeTag, kFilterPopup1Method);
    return enhancementsOfMode(modeTag);
}

EnhancementMask admittedEnhancement2(EnhancementCode enhancement1)
{
    const EnhancementType& type = typeOrAssert(enhancement1, "-[TableViewController validateFilterPopup_2]");
    return kEnhancement2AdmittedByGroup[static_cast<std::size_t>(type.group)];
}

bool isAdmittedEnhancement2(EnhancementCode enhancement1, EnhancementCode enhancement2)
{
    return findEnhancement(enhancement2) && (admittedEnhancement2(enhancement1) & enhancement2) != 0;
}

bool yieldsSixChannels(EnhancementCode enhancement1, EnhancementCode enhancement2)
{
    return ((enhancement1 | enhancement2) & kSixChannelMask) != 0;
}

bool isOutputFormatOffered(std::uint32_t tag, EnhancementCode enhancement1, EnhancementCode enhancement2)
{
    const OutputFormat* format = findOutputFormat(tag);
    return format && outputFormatAvailable(tag) &&
           (!format->needsSixChannels || yieldsSixChannels(enhancement1, enhancement2));
}

std::vector<std::uint32_t> offeredOutputFormats(EnhancementCode enhancement1, EnhancementCode enhancement2)
{
    std::vector<std::uint32_t> tags;
    for (const OutputFormat& format : kOutputFormats)
        if (isOutputFormatOffered(format.tag, enhancement1, enhancement2))
            tags.push_back(format.tag);
    return tags;
}

std::string enhancement1NotSupportedText(EnhancementCode enhancement1, std::uint32_t modeTag)
{
    const Mode* mode = findMode(modeTag);
    return name(enhancement1) + " is not supported with mode " +
           (mode ? std::string(mode->label) : std::to_string(modeTag));
}

std::string enhancement2NotSupportedText(EnhancementCode enhancement2, EnhancementCode enhancement1)
{
    return name(enhancement2) + " is not supported downstream of " + name(enhancement1);
}

std::string outputFormatNotSupportedText(std::uint32_t outputTag)
{
    return formatLabel(outputTag) + " is not supported with this enhancement. Changing to Unchanged";
}

EnhancementCode rememberedEnhancement1(const std::vector<std::string>& filterDefaults1, std::uint32_t modeTag)
{
    const Mode& mode = modeOrAssert(modeTag, kFilterPopup1Method);
    return codeOfEntry(filterDefaults1, static_cast<std::size_t>(mode.position));
}

EnhancementCode rememberedEnhancement2(const std::vector<std::string>& filterDefaults2, EnhancementCode enhancement1)
{
    const EnhancementType& type = typeOrAssert(enhancement1, kFilterGroupMethod);
    return codeOfEntry(filterDefaults2, static_cast<std::size_t>(type.group));
}

void rememberEnhancement1(std::vector<std::string>& filterDefaults1, std::uint32_t modeTag, EnhancementCode code)
{
    const Mode& mode = modeOrAssert(modeTag, kFilterPopup1Method);
    replaceEntry(filterDefaults1, static_cast<std::size_t>(mode.position), code);
}

void rememberEnhancement2(std::vector<std::string>& filterDefaults2, EnhancementCode enhancement1,
                          EnhancementCode code)
{
    const EnhancementType& type = typeOrAssert(enhancement1, kFilterGroupMethod);
    replaceEntry(filterDefaults2, static_cast<std::size_t>(type.group), code);
}

SelectionMessages updateMode(Selection& selection, std::uint32_t modeTag)
{
    SelectionMessages messages;
    const Mode& mode = modeOrAssert(modeTag, "-[TableViewController updateMode:]");
    selection.mode = modeTag;
    info(messages, "Mode changed: " + std::string(mode.label) + " (" + std::to_string(modeTag) + ")");
    validateFilter1(selection, messages);
    return messages;
}

SelectionMessages updateFilter1(Selection& selection, EnhancementCode code)
{
    SelectionMessages messages;
    typeOrAssert(code, "-[TableViewController updateFilter_1:]");
    applyFilter1(selection, code, messages);
    return messages;
}

SelectionMessages updateFilter2(Selection& selection, EnhancementCode code)
{
    SelectionMessages messages;
    typeOrAssert(code, "-[TableViewController updateFilter_2:]");
    applyFilter2(selection, code, messages);
    return messages;
}

SelectionMessages updateOutputFormatType(Selection& selection, std::uint32_t tag)
{
    SelectionMessages messages;
    selection.outputFormatType = tag;
    info(messages, "Output format changed: " + formatLabel(tag) + " (" + std::to_string(tag) + ")");
    return messages;
}

SelectionMessages validateSelection(Selection& selection)
{
    SelectionMessages messages;
    if (!findMode(selection.mode))
        messages = updateMode(selection, kModeFallback);
    validateFilter1(selection, messages);
    validateOutputFormat(selection, messages);
    return messages;
}

Selection loadSelection(const SettingsModel& model)
{
    Selection selection;
    selection.mode = model.mode();
    selection.filterType1 = model.filterType1();
    selection.filterType2 = model.filterType2();
    selection.outputFormatType = model.outputFormatType();
    selection.filterDefaults1 = model.filterDefaults1();
    selection.filterDefaults2 = model.filterDefaults2();
    return selection;
}

void storeSelection(const Selection& selection, DefaultsStore& store)
{
    store.setString(std::string(kModeKey), tagText(selection.mode));
    store.setString(std::string(kFilterType1Key), tagText(selection.filterType1));
    store.setString(std::string(kFilterType2Key), tagText(selection.filterType2));
    store.setString(std::string(kOutputFormatTypeKey), tagText(selection.outputFormatType));
    store.setStringList(std::string(kFilterTypeDefaults1Key), selection.filterDefaults1);
    store.setStringList(std::string(kFilterTypeDefaults2Key), selection.filterDefaults2);
}

}  // namespace auralune
