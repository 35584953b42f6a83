#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace auralune {

// Every choice of the main window is a one-bit code, so sets of choices are
// masks: enhancement types are 64-bit, modes and output formats 32-bit.
using EnhancementCode = std::uint64_t;
using EnhancementMask = std::uint64_t;

struct EnhancementType {
    int bit;                       // code = 2^bit
    int markBit;                   // bit number in the processing mark's masks
    int group;                     // group as Enhancement 1 (0-21)
    std::uint32_t mode;            // the mode that admits it as Enhancement 1; 0: every mode
    std::string_view suffixCode;   // "FileSuffix" + this is its suffix key
    std::string_view displayName;

    constexpr EnhancementCode code() const { return EnhancementCode{1} << bit; }
    std::string suffixKey() const;       // "FileSuffixKE"
    std::string defaultSuffix() const;   // "-ke"
};

// The 54 enhancement types, by bit number (so kEnhancementTypes[b].bit == b).
inline constexpr std::array<EnhancementType, 54> kEnhancementTypes{{
    { 0,  0,  0,     0, "NO",     "None"},
    { 1,  1,  6,    16, "KE",     "KESTRALIN"},
    { 2,  2,  6,    16, "KS1",    "KESTRALIN KS1"},
    { 3,  3,  6,    16, "BK",     "Bride of KESTRALIN"},
    { 4,  5,  7,   256, "RV",     "Rivelle"},
    { 5,  6,  7,   256, "TL",     "Tessalin"},
    { 6,  4,  8,    64, "QM",     "Quillmere"},
    { 7, 10,  8,    64, "LM20",   "Lumora 20 Headphones"},
    { 8,  7,  9,   128, "LM51",   "Lumora 51 Surround"},
    { 9,  8,  9,   128, "LM50",   "Lumora 50 Surround"},
    {10,  9,  9,   128, "LM40",   "Lumora 40 Surround"},
    {11, 19,  1,     2, "PA1",    "Phonograph EQ A1 (RIAA)"},
    {12, 20,  3,     4, "PA2",    "Phonograph EQ A2 (Decca LP)"},
    {13, 21,  3,     4, "PA3",    "Phonograph EQ A3 (TELDEC/AES)"},
    {14, 22,  3,     4, "PB1",    "Phonograph EQ B1 (NAB)"},
    {15, 23,  3,     4, "PB2",    "Phonograph EQ B2 (Columbia LP)"},
    {16, 24,  3,     4, "PC",     "Phonograph EQ C (CCIR/Coarse Groove)"},
    {17, 25,  3,     4, "PD",     "Phonograph EQ D (Quad 22 all buttons)"},
    {18, 27,  3,     4, "PF",     "Phonograph EQ F (Flat/Acoustic)"},
    {19, 42, 16,  4096, "RF",     "Veridane Rumble Filter"},
    {20, 11, 20,  8192, "OL",     "Orvantil Loudspeakers"},
    {21, 12, 20,  8192, "OH",     "Orvantil Headphones"},
    {22, 13, 10,   512, "QS",     "QS Quadraphonic"},
    {23, 14, 10,   512, "SQ",     "SQ Quadraphonic"},
    {24, 18, 13,  1024, "UHJ",    "Ambisonic UHJ Quadraphonic"},
    {25, 36,  2,     2, "PZ1",    "Phonograph anti-EQ A1 (RIAA)"},
    {26, 37,  4,     8, "CD",     "CD De-emphasis"},
    {27, 44, 17,  4096, "CNR",    "Cassette Noise Reduction"},
    {28, 48, 19,  8192, "GR",     "Groove"},
    {29, 26,  3,     4, "PE",     "Phonograph EQ E (500-Flat)"},
    {30, 46, 12,   512, "CS51",   "Cinema Surround 5.1"},
    {31, 47, 12,   512, "CS40",   "Cinema Surround 4.0"},
    {32, 49,  5,    32, "KET",    "KESTRALIN T-Sym"},
    {33, 53, 15,  2048, "UNL",    "Unlimiting"},
    {34, 50, 18,  4096, "HUM",    "Hum Removal"},
    {35, 51, 18,  4096, "HUMB",   "Hum Removal Bass Compensation"},
    {36, 35,  3,     4, "PS",     "Phonograph EQ S (Displacement)"},
    {37, 52, 14,  2048, "HR",     "Hi-Res"},
    {38, 28,  3,     4, "PG",     "Phonograph EQ G (European 78s)"},
    {39, 29,  3,     4, "PH",     "Phonograph EQ H (American 78s)"},
    {40, 30,  3,     4, "PJ",     "Phonograph EQ J (Columbia 78s)"},
    {41, 31,  3,     4, "PK",     "Phonograph EQ K (Ceramic)"},
    {42, 32,  1,     2, "PP1",    "Phonograph EQ P1 (Strain-Gauge/Light-Valve Cartridge)"},
    {43, 33,  1,     2, "PP2",    "Phonograph EQ P2 (DisC Displacement Cartridge)"},
    {44, 16, 11,   512, "CD4",    "JVC CD-4 Quadraphonic"},
    {45, 17, 11,   512, "CD4HQ",  "High-Quality CD-4 Quadraphonic"},
    {46, 15, 10,   512, "MH",     "Matrix H Quadraphonic"},
    {47, 34,  1,     2, "PP3",    "Phonograph EQ P3 (Virtual MM RIAA preamp)"},
    {48, 45, 17,  4096, "C22",    "Cat 22 Noise Reduction"},
    {49, 38, 21, 16384, "TA",     "Tape EQ A (15 ips CCIR > NAB)"},
    {50, 39, 21, 16384, "TB",     "Tape EQ B (15 ips NAB > CCIR)"},
    {51, 40, 21, 16384, "TC",     "Tape EQ C (7.5 ips CCIR > NAB)"},
    {52, 41, 21, 16384, "TD",     "Tape EQ D (7.5 ips NAB > CCIR)"},
    {53, 43, 16,  4096, "ZP",     "Zephra"},}};

inline constexpr EnhancementCode kEnhancementNone = 1;
inline constexpr int kEnhancementGroupCount = 22;

// Looks a type up by its one-bit code; nothing for any other value.
const EnhancementType* findEnhancement(EnhancementCode code);
const EnhancementType* findEnhancementBySuffixCode(std::string_view suffixCode);
const EnhancementType* findEnhancementByName(std::string_view displayName);
std::optional<int> enhancementGroup(EnhancementCode code);

// The types ordered as the processing mark lists them and as their suffix
// keys are registered: "None", mark bits 1-6, 49 ("KESTRALIN T-Sym" follows
// "Tessalin"), 7-48, 50-53.
const std::array<const EnhancementType*, 54>& enhancementsInListingOrder();

// The type with the given mark bit (1-53), or nothing.
const EnhancementType* findEnhancementByMarkBit(int markBit);

namespace detail {
constexpr EnhancementMask maskOfGroups(std::initializer_list<int> groups)
{
    EnhancementMask mask = 0;
    for (const auto& type : kEnhancementTypes)
        for (int g : groups)
            if (type.group == g)
                mask |= type.code();
    return mask;
}
constexpr EnhancementMask maskOfAll()
{
    EnhancementMask mask = 0;
    for (const auto& type : kEnhancementTypes)
        mask |= type.code();
    return mask;
}
}  // namespace detail

// Phonograph equalisation: the A1 group (A1, P1, P2, P3) and the other curves.
inline constexpr EnhancementMask kPhonographEqMask = detail::maskOfGroups({1, 3});
// Types whose result has six channels: Lumora surround, the matrix and CD-4
// decoders, cinema surround and UHJ.
inline constexpr EnhancementMask kSixChannelMask = detail::maskOfGroups({9, 10, 11, 12, 13});
inline constexpr EnhancementMask kCd4Mask = detail::maskOfGroups({11});
inline constexpr EnhancementMask kAllEnhancementsMask = detail::maskOfAll();

static_assert(kPhonographEqMask == 0x8FD02007F800);
static_assert(kSixChannelMask == 0x7000C1C00700);
static_assert(kCd4Mask == 0x300000000000);
static_assert(kAllEnhancementsMask == 0x3FFFFFFFFFFFFF);

// ---------------------------------------------------------------------------
// Modes

struct Mode {
    std::uint32_t tag;
    int position;             // position in the mode popup (2-15)
    std::string_view label;
};

// In popup order. Positions 0 and 1 hold a tag-1 entry that is always hidden.
inline constexpr std::array<Mode, 14> kModes{{
    {2, 2, "Phonograph: RIAA"},
    {4, 3, "Phonograph: other curves"},
    {8, 4, "CD De-emphasis"},
    {16384, 5, "Tape EQ"},
    {16, 6, "KESTRALIN"},
    {32, 7, "KESTRALIN T-Sym"},
    {64, 8, "Headphones"},
    {128, 9, "Surround"},
    {256, 10, "Stereo Width"},
    {512, 11, "Quadraphonic & Cinema"},
    {1024, 12, "Ambisonic"},
    {2048, 13, "Digital Recovery"},
    {4096, 14, "Restoration"},
    {8192, 15, "Orvantil & Groove"},
}};

inline constexpr std::uint32_t kModeHidden = 1;
inline constexpr std::uint32_t kModeFallback = 2048;
inline constexpr int kModePopupPositions = 16;

const Mode* findMode(std::uint32_t tag);
// "None" plus every type whose mode is the given tag.
EnhancementMask enhancementsOfMode(std::uint32_t modeTag);

// ---------------------------------------------------------------------------
// Enhancement popups: 75 positions; a section mark stands before each
// section and is shown or hidden with it.

struct PopupSection {
    int markPosition;
    bool offeredAsEnhancement2;   // false: always hidden in the Enhancement 2 popup
    std::array<int, 13> bits;     // the section's types, in popup order
    int count;
};

inline constexpr std::array<PopupSection, 21> kEnhancementPopupSections{{
    {1, false, {11, 42, 43, 47}, 4},
    {6, false, {25}, 1},
    {8, false, {12, 13, 14, 15, 16, 17, 29, 18, 38, 39, 40, 41, 36}, 13},
    {22, false, {26}, 1},
    {24, false, {49, 50, 51, 52}, 4},
    {29, true, {32}, 1},
    {31, true, {3, 1, 2}, 3},
    {35, true, {6, 7}, 2},
    {38, true, {8, 9, 10}, 3},
    {42, false, {4, 5}, 2},
    {45, true, {22, 23, 46}, 3},
    {49, false, {44, 45}, 2},
    {52, true, {30, 31}, 2},
    {55, false, {24}, 1},
    {57, false, {37}, 1},
    {59, true, {33}, 1},
    {61, false, {19, 53}, 2},
    {64, false, {27, 48}, 2},
    {67, false, {34, 35}, 2},
    {70, true, {28}, 1},
    {72, false, {20, 21}, 2},
}};

inline constexpr int kEnhancementPopupPositions = 75;

// The popup position of a type (0 for "None").
int enhancementPopupPosition(EnhancementCode code);

// ---------------------------------------------------------------------------
// Output formats

struct OutputFormat {
    std::uint32_t tag;
    int position;                 // position in the output format popup (0-16)
    bool needsSixChannels;        // offered only with a six-channel enhancement
    std::string_view label;
};

// Popup: tag 1; separator; 2, 4, 8, 16; separator; 32-128; separator; 256-8192.
inline constexpr std::array<OutputFormat, 14> kOutputFormats{{
    {1, 0, false, "Unchanged"},
    {2, 2, false, "WAV"},
    {4, 3, false, "AIFF"},
    {8, 4, false, "AIFF-C"},
    {16, 5, false, "FLAC"},
    {32, 7, true, "WAV L+R"},
    {64, 8, true, "WAV C+LFE"},
    {128, 9, true, "WAV sL+sR"},
    {256, 11, true, "WAV L"},
    {512, 12, true, "WAV R"},
    {1024, 13, true, "WAV C"},
    {2048, 14, true, "WAV LFE"},
    {4096, 15, true, "WAV sL"},
    {8192, 16, true, "WAV sR"},
}};

inline constexpr int kOutputFormatPopupPositions = 17;
const OutputFormat* findOutputFormat(std::uint32_t tag);

// ---------------------------------------------------------------------------
// Destination folder options: tag 1 writes next to the source; any other tag
// writes into the "DestinationFolder".

struct DestinationFolderOption {
    std::uint32_t tag;
    std::string_view label;
};

inline constexpr std::uint32_t kDestinationNextToSource = 1;
inline constexpr std::uint32_t kDestinationFolder = 2;
inline constexpr std::array<DestinationFolderOption, 2> kDestinationFolderOptions{{
    {kDestinationNextToSource, "Same folder as source file"},
    {kDestinationFolder, "Destination folder"},
}};

// ---------------------------------------------------------------------------
// The feature catalogue shared by the windows and every job. All fixed.

class SystemFeatures {
public:
    constexpr std::uint32_t mode_types() const { return 0x7FFE; }
    constexpr EnhancementMask filter_types_1() const { return kAllEnhancementsMask; }
    constexpr EnhancementMask filter_types_2() const { return kAllEnhancementsMask; }
    constexpr std::uint32_t output_format_types() const { return 0x3FFF; }
    // Source file types 2, 4, 8, 16.
    constexpr std::uint32_t src_file_types() const { return 0x1E; }
    // 44100, 48000, 88200, 96000, 176400, 192000 Hz as bits 0-5.
    constexpr std::uint32_t src_frame_rate_types() const { return 0x3F; }
    // 16 bits (bit 0) and 24 bits (bit 1).
    constexpr std::uint32_t src_bit_depth_types() const { return 0x3; }
    constexpr std::uint32_t hi_res_types() const { return 1; }
    constexpr std::uint32_t dither_types() const { return 1; }
    // Bit 2 (value 4) is destination loudness.
    constexpr std::uint32_t file_metrics_types() const { return 0x1F; }
    constexpr std::uint32_t phono_eq_preferences_types() const { return 2; }
    constexpr std::uint32_t phono_wow_preferences_types() const { return 2; }

    // The preferences window's default hi-res choice.
    constexpr std::uint32_t defaultHiResTag() const { return 2 - (hi_res_types() & 1); }

    static const SystemFeatures& shared();
};

inline constexpr std::array<double, 6> kSourceFrameRates{44100, 48000, 88200, 96000, 176400, 192000};

}  // namespace auralune
