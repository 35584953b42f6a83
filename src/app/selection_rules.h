#pragma once

#include "engine/catalogue.h"
#include "platform/defaults_store.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace auralune {

class SettingsModel;

// ---------------------------------------------------------------------------
// Which Enhancement 2 may follow an Enhancement 1, by the group of the
// Enhancement 1 (0-21). Every mask includes "None" (bit 0).

namespace admission {
// Stereo, headphone and surround processing after an equalisation curve.
inline constexpr EnhancementMask kAfterPhonographEq = 0x4001C0C007CF;
// The KESTRALIN types, Quillmere, Lumora, "Groove" and "Unlimiting".
inline constexpr EnhancementMask kAfterRestoration = 0x3100007CF;
// As above without "Unlimiting" itself.
inline constexpr EnhancementMask kAfterUnlimiting = 0x1100007CF;
// "Groove" and "Unlimiting" after a spatial or matrix enhancement.
inline constexpr EnhancementMask kAfterSpatial = 0x210000001;
inline constexpr EnhancementMask kAfterOrvantil = 0x10000001;
inline constexpr EnhancementMask kNoneOnly = kEnhancementNone;
}  // namespace admission

inline constexpr std::array<EnhancementMask, kEnhancementGroupCount> kEnhancement2AdmittedByGroup{
    admission::kNoneOnly,            //  0 "None"
    admission::kAfterPhonographEq,   //  1 A1, P1, P2, P3
    admission::kNoneOnly,            //  2 anti-EQ A1
    admission::kAfterPhonographEq,   //  3 the other curves
    admission::kAfterRestoration,    //  4 CD de-emphasis
    admission::kAfterSpatial,        //  5 KESTRALIN T-Sym
    admission::kAfterSpatial,        //  6 KESTRALIN, KS1, Bride of KESTRALIN
    admission::kAfterSpatial,        //  7 Rivelle, Tessalin
    admission::kAfterSpatial,        //  8 Quillmere, Lumora 20
    admission::kAfterSpatial,        //  9 Lumora surround
    admission::kAfterSpatial,        // 10 QS, SQ, Matrix H
    admission::kNoneOnly,            // 11 CD-4
    admission::kAfterSpatial,        // 12 cinema surround
    admission::kAfterSpatial,        // 13 Ambisonic UHJ
    admission::kAfterRestoration,    // 14 Hi-Res
    admission::kAfterUnlimiting,     // 15 Unlimiting
    admission::kAfterRestoration,    // 16 rumble filter, Zephra
    admission::kAfterRestoration,    // 17 cassette and Cat 22 noise reduction
    admission::kAfterRestoration,    // 18 hum removal
    admission::kNoneOnly,            // 19 Groove
    admission::kAfterOrvantil,       // 20 Orvantil
    admission::kAfterRestoration,    // 21 tape EQ
};

// The Enhancement 1 types a mode admits ("None" always); a mode tag outside
// the catalogue is an assertion failure.
EnhancementMask admittedEnhancement1(std::uint32_t modeTag);
// The Enhancement 2 types admitted after an Enhancement 1; an Enhancement 1
// outside the catalogue is an assertion failure.
EnhancementMask admittedEnhancement2(EnhancementCode enhancement1);
bool isAdmittedEnhancement2(EnhancementCode enhancement1, EnhancementCode enhancement2);

// The channel-splitting output formats (tags 32-8192) need a six-channel
// result from one of the two enhancements; formats without a writer yet
// are never offered.
bool yieldsSixChannels(EnhancementCode enhancement1, EnhancementCode enhancement2);
bool isOutputFormatOffered(std::uint32_t tag, EnhancementCode enhancement1, EnhancementCode enhancement2);
std::vector<std::uint32_t> offeredOutputFormats(EnhancementCode enhancement1, EnhancementCode enhancement2);

// The correction warnings, without the "<WARNING> " prefix.
std::string enhancement1NotSupportedText(EnhancementCode enhancement1, std::uint32_t modeTag);
std::string enhancement2NotSupportedText(EnhancementCode enhancement2, EnhancementCode enhancement1);
std::string outputFormatNotSupportedText(std::uint32_t outputTag);

// ---------------------------------------------------------------------------
// The four choices of the main window and the two remembered-choice arrays:
// the Enhancement 1 last chosen per mode popup position, the Enhancement 2
// last chosen per Enhancement 1 group.

struct Selection {
    std::uint32_t mode = 64;
    EnhancementCode filterType1 = kEnhancementNone;
    EnhancementCode filterType2 = kEnhancementNone;
    std::uint32_t outputFormatType = 1;
    std::vector<std::string> filterDefaults1 = std::vector<std::string>(22, "1");
    std::vector<std::string> filterDefaults2 = std::vector<std::string>(22, "1");

    bool operator==(const Selection&) const = default;
};

// The Enhancement 1 remembered for a mode and the Enhancement 2 remembered
// for the group of an Enhancement 1; "None" when the entry is missing or
// no catalogue code.
EnhancementCode rememberedEnhancement1(const std::vector<std::string>& filterDefaults1, std::uint32_t modeTag);
EnhancementCode rememberedEnhancement2(const std::vector<std::string>& filterDefaults2, EnhancementCode enhancement1);
// Replace the entry in place; the arrays keep their length.
void rememberEnhancement1(std::vector<std::string>& filterDefaults1, std::uint32_t modeTag, EnhancementCode code);
void rememberEnhancement2(std::vector<std::string>& filterDefaults2, EnhancementCode enhancement1,
                          EnhancementCode code);

// What a change logged, in order.
struct SelectionMessage {
    bool warning = false;
    std::string text;   // without the "<Info> " or "<WARNING> " prefix
    bool operator==(const SelectionMessage&) const = default;
};
using SelectionMessages = std::vector<SelectionMessage>;

// The popups' actions and the checks they cascade into: each records the
// new choice (and its memory), then re-checks every level below it,
// correcting an invalid choice to "None" or "Unchanged" with one warning.
SelectionMessages updateMode(Selection& selection, std::uint32_t modeTag);
SelectionMessages updateFilter1(Selection& selection, EnhancementCode code);
SelectionMessages updateFilter2(Selection& selection, EnhancementCode code);
SelectionMessages updateOutputFormatType(Selection& selection, std::uint32_t tag);
// The checks run when the window loads: mode, Enhancement 1 (and so
// Enhancement 2), output format. The remembered Enhancement 1 of the mode
// wins over the stored one.
SelectionMessages validateSelection(Selection& selection);

// The stored choices with the load rules applied (a mode with no mode bit
// gives 64; the arrays extended to 22 entries).
Selection loadSelection(const SettingsModel& model);
// Writes "Mode", "FilterType_1", "FilterType_2", "OutputFormatType" and the
// two arrays in their stored forms.
void storeSelection(const Selection& selection, DefaultsStore& store);

}  // namespace auralune
