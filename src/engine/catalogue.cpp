#include "engine/catalogue.h"

#include <algorithm>
#include <bit>
#include <cctype>

namespace auralune {

static_assert([] {
    for (std::size_t i = 0; i < kEnhancementTypes.size(); ++i)
        if (kEnhancementTypes[i].bit != static_cast<int>(i))
            return false;
    return true;
}(), "the enhancement table is indexed by bit number");

std::string EnhancementType::suffixKey() const
{
    return "FileSuffix" + std::string(suffixCode);
}

std::string EnhancementType::defaultSuffix() const
{
    std::string suffix = "-";
    for (char c : suffixCode)
        suffix.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return suffix;
}

const EnhancementType* findEnhancement(EnhancementCode code)
{
    if (!std::has_single_bit(code))
        return nullptr;
    auto bit = static_cast<std::size_t>(std::countr_zero(code));
    return bit < kEnhancementTypes.size() ? &kEnhancementTypes[bit] : nullptr;
}

const EnhancementType* findEnhancementBySuffixCode(std::string_view suffixCode)
{
    auto it = std::find_if(kEnhancementTypes.begin(), kEnhancementTypes.end(),
                           [&](const EnhancementType& t) { return t.suffixCode == suffixCode; });
    return it == kEnhancementTypes.end() ? nullptr : &*it;
}

const EnhancementType* findEnhancementByName(std::string_view displayName)
{
    auto it = std::find_if(kEnhancementTypes.begin(), kEnhancementTypes.end(),
                           [&](const EnhancementType& t) { return t.displayName == displayName; });
    return it == kEnhancementTypes.end() ? nullptr : &*it;
}

std::optional<int> enhancementGroup(EnhancementCode code)
{
    const EnhancementType* type = findEnhancement(code);
    if (!type)
        return std::nullopt;
    return type->group;
}

namespace {

// Mark bit 49 ("KESTRALIN T-Sym") is listed between 6 and 7.
double listingRank(const EnhancementType& type)
{
    return type.markBit == 49 ? 6.5 : type.markBit;
}

}  // namespace

const std::array<const EnhancementType*, 54>& enhancementsInListingOrder()
{
    static const auto order = [] {
        std::array<const EnhancementType*, 54> sorted{};
        for (std::size_t i = 0; i < kEnhancementTypes.size(); ++i)
            sorted[i] = &kEnhancementTypes[i];
        std::sort(sorted.begin(), sorted.end(), [](const EnhancementType* a, const EnhancementType* b) {
            return listingRank(*a) < listingRank(*b);
        });
        return sorted;
    }();
    return order;
}

const EnhancementType* findEnhancementByMarkBit(int markBit)
{
    if (markBit <= 0)
        return nullptr;
    for (const auto& type : kEnhancementTypes)
        if (type.markBit == markBit)
            return &type;
    return nullptr;
}

const Mode* findMode(std::uint32_t tag)
{
    auto it = std::find_if(kModes.begin(), kModes.end(), [&](const Mode& m) { return m.tag == tag; });
    return it == kModes.end() ? nullptr : &*it;
}

EnhancementMask enhancementsOfMode(std::uint32_t modeTag)
{
    EnhancementMask mask = kEnhancementNone;
    for (const auto& type : kEnhancementTypes)
        if (type.mode == modeTag)
            mask |= type.code();
    return mask;
}

int enhancementPopupPosition(EnhancementCode code)
{
    const EnhancementType* type = findEnhancement(code);
    if (!type || type->bit == 0)
        return 0;
    for (const auto& section : kEnhancementPopupSections)
        for (int i = 0; i < section.count; ++i)
            if (section.bits[static_cast<std::size_t>(i)] == type->bit)
                return section.markPosition + 1 + i;
    return 0;
}

const OutputFormat* findOutputFormat(std::uint32_t tag)
{
    auto it = std::find_if(kOutputFormats.begin(), kOutputFormats.end(),
                           [&](const OutputFormat& f) { return f.tag == tag; });
    return it == kOutputFormats.end() ? nullptr : &*it;
}

const SystemFeatures& SystemFeatures::shared()
{
    static const SystemFeatures features;
    return features;
}

}  // namespace auralune
