#pragma once

#include "engine/audio_file.h"
#include "engine/catalogue.h"

#include <array>
#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace auralune {

// An enhancement routine of the job: it takes the enhancement number (1 or
// 2) and finds its code, buffers and channel count from it.
using EnhancementRoutine = void (AudioFile::*)(std::uint32_t);

// Every routine the dispatcher can call, in the order of kRoutines.
enum class Routine : std::uint8_t {
    StereoCorrectionNone,
    Kestralin,
    KestralinTSym,
    Rivelle,
    Quillmere,
    QuillmereReverb,
    LumoraSurround,
    Hilbert,
    PhonographEQ,
    PhonographAntiEQ,
    Groove24,
    HumRemoval,
    ZephraFilter,
    TapeEQ,
    CassetteNoiseReduction,
    Cat22NoiseReduction,
    Unlimiting,
    CD4_Quadraphonic_1_InputSubFM,
    CD4_Quadraphonic_2_LevelCompOutput,
};
inline constexpr std::size_t kRoutineCount = 19;

struct RoutineEntry {
    Routine routine;
    std::string_view name;
    EnhancementRoutine run;   // null until the routine is written
};

// A routine plugs in by putting its member function here; the codes that
// use it become available when every routine of their row is present.
inline constexpr std::array<RoutineEntry, kRoutineCount> kRoutines{{
    {Routine::StereoCorrectionNone, "StereoCorrectionNone", &AudioFile::StereoCorrectionNone},
    {Routine::Kestralin, "Kestralin", &AudioFile::Kestralin},
    {Routine::KestralinTSym, "KestralinTSym", &AudioFile::KestralinTSym},
    {Routine::Rivelle, "Rivelle", &AudioFile::Rivelle},
    {Routine::Quillmere, "Quillmere", &AudioFile::Quillmere},
    {Routine::QuillmereReverb, "QuillmereReverb", &AudioFile::QuillmereReverb},
    {Routine::LumoraSurround, "LumoraSurround", &AudioFile::LumoraSurround},
    {Routine::Hilbert, "Hilbert", &AudioFile::Hilbert},
    {Routine::PhonographEQ, "PhonographEQ", &AudioFile::PhonographEQ},
    {Routine::PhonographAntiEQ, "PhonographAntiEQ", &AudioFile::PhonographAntiEQ},
    {Routine::Groove24, "Groove24", &AudioFile::Groove24},
    {Routine::HumRemoval, "HumRemoval", &AudioFile::HumRemoval},
    {Routine::ZephraFilter, "ZephraFilter", &AudioFile::ZephraFilter},
    {Routine::TapeEQ, "TapeEQ", &AudioFile::TapeEQ},
    {Routine::CassetteNoiseReduction, "CassetteNoiseReduction", &AudioFile::CassetteNoiseReduction},
    {Routine::Cat22NoiseReduction, "Cat22NoiseReduction", &AudioFile::Cat22NoiseReduction},
    {Routine::Unlimiting, "Unlimiting", &AudioFile::Unlimiting},
    {Routine::CD4_Quadraphonic_1_InputSubFM, "CD4_Quadraphonic_1_InputSubFM",
     &AudioFile::CD4_Quadraphonic_1_InputSubFM},
    {Routine::CD4_Quadraphonic_2_LevelCompOutput, "CD4_Quadraphonic_2_LevelCompOutput",
     &AudioFile::CD4_Quadraphonic_2_LevelCompOutput},
}};

constexpr const RoutineEntry& routineEntry(Routine routine) { return kRoutines[static_cast<std::size_t>(routine)]; }

// What StereoEnhancement runs for one enhancement type: up to three
// routines in order, each taking the previous one's output, and the
// channel count of the stage output (6 for the surround, matrix and CD-4
// decoders, else 2).
struct EnhancementRoute {
    static constexpr std::size_t kMaxRoutines = 3;

    constexpr EnhancementRoute(EnhancementCode typeCode, std::uint32_t channels, std::initializer_list<Routine> list)
        : code(typeCode), outputChannels(channels), count(list.size())
    {
        std::size_t i = 0;
        for (Routine r : list)
            routines[i++] = r;
    }

    EnhancementCode code;
    std::uint32_t outputChannels;
    std::size_t count;
    std::array<Routine, kMaxRoutines> routines{};

    constexpr bool available() const
    {
        for (std::size_t i = 0; i < count; ++i)
            if (routineEntry(routines[i]).run == nullptr)
                return false;
        return true;
    }
};

// One row per enhancement type, in bit order (row b has code 2^b).
inline constexpr std::array<EnhancementRoute, 54> kEnhancementRoutes{{
    {0x1, 2, {Routine::StereoCorrectionNone}},
    {0x2, 2, {Routine::Kestralin}},
    {0x4, 2, {Routine::Rivelle}},                        // KESTRALIN KS1
    {0x8, 2, {Routine::Kestralin}},                      // Bride of KESTRALIN
    {0x10, 2, {Routine::Rivelle}},
    {0x20, 2, {Routine::Rivelle}},                       // Tessalin
    {0x40, 2, {Routine::Quillmere, Routine::QuillmereReverb}},
    {0x80, 2, {Routine::LumoraSurround}},                // Lumora 20 Headphones
    {0x100, 6, {Routine::LumoraSurround}},               // Lumora 51 Surround
    {0x200, 6, {Routine::LumoraSurround}},               // Lumora 50 Surround
    {0x400, 6, {Routine::Kestralin, Routine::LumoraSurround}},   // Lumora 40 Surround
    {0x800, 2, {Routine::PhonographEQ}},
    {0x1000, 2, {Routine::PhonographEQ}},
    {0x2000, 2, {Routine::PhonographEQ}},
    {0x4000, 2, {Routine::PhonographEQ}},
    {0x8000, 2, {Routine::PhonographEQ}},
    {0x10000, 2, {Routine::PhonographEQ}},
    {0x20000, 2, {Routine::PhonographEQ}},
    {0x40000, 2, {Routine::PhonographEQ}},
    {0x80000, 2, {Routine::PhonographEQ}},               // Veridane Rumble Filter
    {0x100000, 2, {Routine::Hilbert}},                   // Orvantil Loudspeakers
    {0x200000, 2, {Routine::Hilbert}},                   // Orvantil Headphones
    {0x400000, 6, {Routine::Hilbert}},                   // QS
    {0x800000, 6, {Routine::Hilbert}},                   // SQ
    {0x1000000, 6, {Routine::Hilbert}},                  // Ambisonic UHJ
    {0x2000000, 2, {Routine::PhonographAntiEQ}},
    {0x4000000, 2, {Routine::PhonographEQ}},             // CD De-emphasis
    {0x8000000, 2, {Routine::CassetteNoiseReduction}},
    {0x10000000, 2, {Routine::Groove24}},
    {0x20000000, 2, {Routine::PhonographEQ}},
    {0x40000000, 6, {Routine::LumoraSurround, Routine::CassetteNoiseReduction}},   // Cinema Surround 5.1
    {0x80000000, 6, {Routine::Kestralin, Routine::LumoraSurround, Routine::CassetteNoiseReduction}},   // 4.0
    {0x100000000, 2, {Routine::KestralinTSym}},
    {0x200000000, 2, {Routine::Unlimiting}},
    {0x400000000, 2, {Routine::HumRemoval}},
    {0x800000000, 2, {Routine::HumRemoval}},             // Hum Removal Bass Compensation
    {0x1000000000, 2, {Routine::PhonographEQ}},
    {0x2000000000, 2, {Routine::StereoCorrectionNone}},  // Hi-Res
    {0x4000000000, 2, {Routine::PhonographEQ}},
    {0x8000000000, 2, {Routine::PhonographEQ}},
    {0x10000000000, 2, {Routine::PhonographEQ}},
    {0x20000000000, 2, {Routine::PhonographEQ}},
    {0x40000000000, 2, {Routine::PhonographEQ}},
    {0x80000000000, 2, {Routine::PhonographEQ}},
    {0x100000000000, 6,
     {Routine::CD4_Quadraphonic_1_InputSubFM, Routine::PhonographEQ, Routine::CD4_Quadraphonic_2_LevelCompOutput}},
    {0x200000000000, 6,
     {Routine::CD4_Quadraphonic_1_InputSubFM, Routine::PhonographEQ, Routine::CD4_Quadraphonic_2_LevelCompOutput}},
    {0x400000000000, 6, {Routine::Hilbert}},             // Matrix H
    {0x800000000000, 2, {Routine::PhonographEQ}},
    {0x1000000000000, 2, {Routine::Cat22NoiseReduction}},
    {0x2000000000000, 2, {Routine::TapeEQ}},
    {0x4000000000000, 2, {Routine::TapeEQ}},
    {0x8000000000000, 2, {Routine::TapeEQ}},
    {0x10000000000000, 2, {Routine::TapeEQ}},
    {0x20000000000000, 2, {Routine::ZephraFilter}},
}};

namespace detail {
constexpr bool routesMatchCatalogue()
{
    for (std::size_t i = 0; i < kRoutines.size(); ++i)
        if (static_cast<std::size_t>(kRoutines[i].routine) != i)
            return false;
    for (std::size_t b = 0; b < kEnhancementRoutes.size(); ++b) {
        const EnhancementRoute& route = kEnhancementRoutes[b];
        const bool six = (kSixChannelMask & route.code) != 0;
        if (route.code != kEnhancementTypes[b].code() || route.outputChannels != (six ? 6u : 2u) ||
            route.count == 0 || route.count > EnhancementRoute::kMaxRoutines)
            return false;
    }
    return true;
}
}  // namespace detail

static_assert(detail::routesMatchCatalogue(), "one route per catalogue type, in bit order");

// The row of a type code; nothing for a value outside the catalogue.
constexpr const EnhancementRoute* findEnhancementRoute(EnhancementCode code)
{
    if (!std::has_single_bit(code))
        return nullptr;
    const auto bit = static_cast<std::size_t>(std::countr_zero(code));
    return bit < kEnhancementRoutes.size() ? &kEnhancementRoutes[bit] : nullptr;
}

}  // namespace auralune
