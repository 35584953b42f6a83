#include "app/settings_help.h"

#include "app/settings_model.h"
#include "enhance/availability.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>

namespace auralune {

namespace {

constexpr SettingChoice kClipManagementChoices[] = {
    {1, "Ask when clipping exceeds the threshold"},
    {2, "Clamp the samples that clip"},
    {4, "Attenuate the whole file"},
};
constexpr SettingChoice kOnOffChoices[] = {{1, "On"}, {2, "Off"}};
constexpr SettingChoice kUhjRegimes[] = {
    {1, "Regime 1: balanced, rear delayed 12 ms"},
    {2, "Regime 2: wide front, soft rear"},
    {3, "Regime 3: balanced, no rear delay"},
    {4, "Regime 4: even front and rear"},
    {5, "Regime 5: wide front and rear"},
};
constexpr SettingChoice kPhonographRegimes[] = {
    {1, "Stereo"},
    {2, "Mono (L+R)"},
    {3, "Narrowed stereo (75/25 blend)"},
    {4, "Vertical only (L−R)"},
};
constexpr SettingChoice kCaptureSpeeds[] = {
    {1, "Played at the record's speed"},
    {2, "Half-speed needle drop"},
    {3, "78 rpm record played at 33⅓"},
    {4, "68 rpm record played at 33⅓"},
    {5, "89 rpm record played at 33⅓"},
    {6, "33⅓ rpm record played at 25"},
};
constexpr SettingChoice kPopClickChoices[] = {
    {1, "Off"},
    {2, "Pop-click removal"},
    {3, "Crackle removal"},
    {4, "Pop-click (interpolated)"},
};
constexpr SettingChoice kSensitivityChoices[] = {{1, "Low"}, {2, "Normal"}, {3, "High"}};
constexpr SettingChoice kHiResFilterChoices[] = {{1, "Standard"}, {2, "Wide"}};
constexpr SettingChoice kScratchChoices[] = {
    {1, "Off"},
    {2, "Needle-scratch removal"},
    {3, "Gradient needle-scratch removal"},
};
constexpr SettingChoice kCD4PopClickChoices[] = {{1, "Off"}, {2, "Pop-click removal"}};
constexpr SettingChoice kCD4Outputs[] = {
    {1, "Four discrete channels"},
    {2, "Subcarrier on both rear channels"},
};
constexpr SettingChoice kRotationalSpeeds[] = {{1, "33⅓ rpm"}, {2, "45 rpm"}, {3, "78 rpm"}};
constexpr SettingChoice kPitchCorrections[] = {
    {1, "From the detected wow alone"},
    {2, "Scaled by tonearm sway and groove diameter"},
};

constexpr std::string_view kPhonographCurves =
    "PA1 PA2 PA3 PB1 PB2 PC PD PE PF PG PH PJ PK PP1 PP2 PP3 PS";

// One row per key the user chooses in the preferences window or the CLI.
const SettingHelp kHelp[] = {
    {"DestinationFolder", "Destination folder", "Folder that receives the converted files when they do not go next to their source.", {}, {}},
    {"DestinationFolderOption", "Destination", "Whether converted files go next to their source or into the destination folder.", {}, {}},
    {"Mode", "Mode", "The kind of recording being processed, which decides the enhancements offered.", {}, {}},
    {"FilterType_1", "Enhancement 1", "The first enhancement applied to every file.", {}, {}},
    {"FilterType_2", "Enhancement 2", "The enhancement applied after Enhancement 1.", {}, {}},
    {"FilterTypeDefaults_1", "Remembered Enhancement 1", "The Enhancement 1 last chosen in each mode.", {}, {}},
    {"FilterTypeDefaults_2", "Remembered Enhancement 2", "The Enhancement 2 last chosen after each group of Enhancement 1.", {}, {}},
    {"OutputFormatType", "Output format", "File format, channels and word length of the converted files.", {}, {}},
    {"ShowFileExt", "Show file extensions", "Shows the file extensions in the queue's names.", {}, {}},
    {"ShowFullPath", "Show full paths", "Shows each file's folder as well as its name in the queue.", {}, {}},
    {"ClipManagement", "When the converted audio clips", "What happens when processing pushes samples beyond full scale: ask, clamp the peaks, or lower the whole file until nothing clips.", kClipManagementChoices, {}},
    {"ClipThreshold", "Clip threshold (dB)", "Clipping up to this many dB over full scale is clamped without asking; above it you are asked.", {}, {}},
    {"GrooveDistortionTapOff", "Groove distortion tap off", "Leaves out the stylus model's distortion tap.", {}, "GR"},
    {"GrooveDistortion", "Stylus distortion", "How much of the distortion of a stylus tracing the groove the groove model adds.", {}, "GR"},
    {"GrooveNoise", "Surface noise", "Level of the record surface noise the groove model adds; at the bottom of the scale it adds none.", {}, "GR"},
    {"DolbyTone", "Cat 22 tone level", "Level at which the Cat 22 calibration tone was recorded, so noise reduction decoding tracks the tape correctly.", {}, "C22"},
    {"HiResType", "Hi-Res processing", "Processes 44.1 and 48 kHz sources at twice the rate and writes 24-bit files, which keeps filter responses clean up to the top of the audio band.", kOnOffChoices, {}},
    {"HiResFilter", "Hi-Res filter", "Standard keeps the classic rate-doubling filters, which roll off above about 18 kHz; Wide stays flat to 20 kHz for 44.1 kHz sources and rejects images by at least 100 dB.", kHiResFilterChoices, {}},
    {"DitherType", "Dither", "Adds a very low triangular noise before shortening the word length, turning quantisation distortion into a steady hiss far below the music.", kOnOffChoices, {}},
    {"AmbisonicUhjRegime", "Ambisonic UHJ decoding", "Balance between front and rear loudspeakers, and the rear delay, when decoding UHJ recordings to surround.", kUhjRegimes, "UHJ"},
    {"CalculateSrcR128", "Measure the loudness of source files", "Measures the EBU R128 loudness, range and true peak of each source for its metrics report.", {}, {}},
    {"CalculateDstR128", "Measure the loudness of converted files", "Measures the EBU R128 loudness, range and true peak of each converted file.", {}, {}},
    {"DstBwfMetadata", "Write Broadcast Wave loudness metadata", "Writes the measured loudness into the broadcast-wave and iXML chunks of WAV files.", {}, {}},
    {"AdjustDstR128", "Adjust loudness of converted files", "Changes the gain of each converted file so that its integrated loudness meets the target.", {}, {}},
    {"AdjustDstR128Level", "Loudness target (LUFS)", "The integrated loudness each converted file is brought to.", {}, {}},
    {"SimultaneousConversions", "Simultaneous conversions", "How many files are converted at once; more than one only starts while their memory fits the budget.", {}, {}},
    {"MemoryBudget", "Memory budget (MiB)", "The memory the conversions running together may use; a file that needs more than all of it converts alone.", {}, {}},
    {"WarnPreprocess", "Warn before converting a converted file again", "Asks before processing a file that Auralune has already converted.", {}, {}},
    {"PhonographRegime", "Channels", "How the two groove walls are combined: stereo, mono from both walls (least surface noise on mono records), a narrowed blend, or the vertical signal alone.", kPhonographRegimes, kPhonographCurves},
    {"CaptureSpeed", "Capture speed", "The speed the record was played at for the transfer, so pitch and duration are put right.", kCaptureSpeeds, kPhonographCurves},
    {"UseGainRanging", "Gain ranging", "Lowers every 100 ms stretch that stays below -65 dBFS by 20 dB, quieting the groove noise in the silences.", {}, kPhonographCurves},
    {"UseCartridgeBalance", "Cartridge channel balance", "Evens out a level difference between the two channels of the cartridge.", {}, kPhonographCurves},
    {"UseDiscEchoRemoval", "Disc echo removal", "Holds very quiet sound below -60 dBFS down, which suppresses the faint echo printed through from the neighbouring grooves.", {}, kPhonographCurves},
    {"UseDeroz2ResponseCorrection", "DIZOR-OV response correction", "Reshapes the spectrum of the transfer before equalisation to correct the response of the pickup.", {}, kPhonographCurves},
    {"PhonographPopClick", "Pop-click removal", "Finds short clicks and pops from dust and scratches and rebuilds the audio under them; crackle removal also treats the dense fine crackle of worn records.", kPopClickChoices, kPhonographCurves},
    {"PopClickSensitivity", "Interpolating declicker sensitivity", "How readily the interpolating declicker treats a short disturbance as a click: High also repairs faint ticks, Low only clear pops.", kSensitivityChoices, kPhonographCurves},
    {"UseLpDistortionCancel", "LP distortion cancellation", "Cancels the tracing distortion a rounded stylus produces on fine high-frequency grooves.", {}, kPhonographCurves},
    {"LpDistortionStylusRadius", "Stylus radius (µm)", "Tip radius of the stylus used for the transfer, which sets how much tracing distortion is cancelled.", {}, kPhonographCurves},
    {"PhonographScratch", "Needle-scratch removal", "Lowers the steady hiss of the stylus in the groove; the gradient kind also restores treble with an exciter.", kScratchChoices, kPhonographCurves},
    {"UseZephra", "Zephra", "Makes the bass below about 150 Hz mono, removing the rumble and thumps that differ between the two groove walls.", {}, kPhonographCurves},
    {"UseRumbleFilter", "Veridane rumble filter", "Removes turntable rumble below about 20 Hz with a phase-free filter that leaves the bass untouched.", {}, kPhonographCurves},
    {"UseHumRemoval", "Hum removal", "Removes mains hum with narrow notches at the first five harmonics of both 50 Hz and 60 Hz.", {}, kPhonographCurves},
    {"UseHumRemovalBassCompensation", "Hum removal bass compensation", "Adds a gentle low-shelf boost that makes up for the bass the hum notches take away.", {}, kPhonographCurves},
    {"UseCartridgeBalanceCD4", "Cartridge channel balance", "Evens out a level difference between the two channels of the cartridge before decoding.", {}, "CD4 CD4HQ"},
    {"UseDeroz2CrosstalkCD4", "DIZOR-OV crosstalk compensation", "Cancels the leakage between front and rear channels that the cartridge adds.", {}, "CD4 CD4HQ"},
    {"PopClickCD4", "Pop-click removal", "Finds short clicks and pops and rebuilds the audio under them.", kCD4PopClickChoices, "CD4 CD4HQ"},
    {"UseZephraCD4", "Zephra", "Makes the bass below about 150 Hz mono, removing rumble and thumps that differ between the groove walls.", {}, "CD4 CD4HQ"},
    {"UseRumbleFilterCD4", "Veridane rumble filter", "Removes turntable rumble below about 20 Hz.", {}, "CD4 CD4HQ"},
    {"UseHumRemovalCD4", "Hum removal", "Removes mains hum with narrow notches at the harmonics of 50 Hz and 60 Hz.", {}, "CD4 CD4HQ"},
    {"UseHumRemovalBassCompensationCD4", "Hum removal bass compensation", "Adds a gentle low-shelf boost that makes up for the bass the hum notches take away.", {}, "CD4 CD4HQ"},
    {"OutputCD4", "Output", "Whether the four decoded channels are written, or the demodulated subcarrier on both rear channels for checking the pickup.", kCD4Outputs, "CD4 CD4HQ"},
    {"UseWowCorrection", "Wow correction", "Detects the once-per-turn speed wobble of an off-centre record and evens it out.", {}, {}},
    {"RotationalSpeedWow", "Record speed", "The record's own speed, which sets how often the wobble repeats.", kRotationalSpeeds, {}},
    {"PitchCorrectionWow", "Pitch correction", "Stored and carried for older settings, but not read: the correction always follows the tonearm sway and the groove diameters.", kPitchCorrections, {}},
    {"TonearmSwayWow", "Tonearm sway (mm)", "How far the tonearm swings sideways each turn.", {}, {}},
    {"StartDiameterWow", "Start diameter (mm)", "Groove diameter where the recording starts (300 mm on a 12-inch record).", {}, {}},
    {"StopDiameterWow", "Stop diameter (mm)", "Groove diameter where the recording ends.", {}, {}},
};

// Help for the 54 suffix keys, made from the catalogue's names.
struct SuffixHelp {
    std::string key;
    std::string title;
    std::string sentence;
};

const std::map<std::string, SettingHelp, std::less<>>& suffixHelp()
{
    static const auto texts = [] {
        std::vector<SuffixHelp> all;
        for (const EnhancementType* type : enhancementsInListingOrder())
            all.push_back({type->suffixKey(), "File name suffix",
                           "Added to the names of files converted with \"" + std::string(type->displayName) + "\"."});
        return all;
    }();
    static const auto rows = [] {
        std::map<std::string, SettingHelp, std::less<>> map;
        for (const SuffixHelp& text : texts)
            map.emplace(text.key, SettingHelp{text.key, text.title, text.sentence, {}, {}});
        return map;
    }();
    return rows;
}

bool servesAvailable(std::string_view serves)
{
    if (serves.empty())
        return true;
    while (!serves.empty()) {
        const auto blank = serves.find(' ');
        const std::string_view code = serves.substr(0, blank);
        if (const EnhancementType* type = findEnhancementBySuffixCode(code); type && enhancementAvailable(type->code()))
            return true;
        if (blank == std::string_view::npos)
            break;
        serves.remove_prefix(blank + 1);
    }
    return false;
}

}  // namespace

const SettingHelp* findSettingHelp(std::string_view key)
{
    const auto it = std::find_if(std::begin(kHelp), std::end(kHelp), [&](const SettingHelp& h) { return h.key == key; });
    if (it != std::end(kHelp))
        return &*it;
    const auto& suffixes = suffixHelp();
    const auto suffix = suffixes.find(key);
    return suffix == suffixes.end() ? nullptr : &suffix->second;
}

bool settingAvailable(std::string_view key)
{
    const SettingHelp* help = findSettingHelp(key);
    return !help || servesAvailable(help->serves);
}

std::string settingAllowedValues(const SettingDefinition& setting)
{
    const SettingHelp* help = findSettingHelp(setting.key);
    if (!help || help->choices.empty())
        return settingExpectation(setting);
    std::string text;
    for (const SettingChoice& choice : help->choices) {
        if (!text.empty())
            text += ", ";
        text += std::to_string(choice.tag) + " = " + std::string(choice.title);
    }
    return text;
}

std::string settingHelpLine(const SettingDefinition& setting)
{
    const SettingHelp* help = findSettingHelp(setting.key);
    std::string line = help ? std::string(help->sentence) + " " : std::string();
    line += "Values: " + settingAllowedValues(setting) + ".";
    if (!settingAvailable(setting.key))
        line += " (" + std::string(kNotAvailableYet) + ")";
    return line;
}

}  // namespace auralune
