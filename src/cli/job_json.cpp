#include "cli/job_json.h"

#include "cli/json.h"
#include "engine/audio_file.h"
#include "formats/processing_mark.h"

namespace auralune {

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

namespace {

std::string_view stateName(int state)
{
    switch (state) {
    case kStateAnalysed: return "analysed";
    case kStateConverted: return "converted";
    case kStateFailed: return "failed";
    default: return "unfinished";
    }
}

template <std::size_t N>
void bitTexts(JsonWriter& json, const std::array<StatusBitText, N>& table, int bits, const std::string& cause)
{
    json.beginArray();
    for (const StatusBitText& entry : table) {
        if ((bits & entry.bit) == 0)
            continue;
        json.beginObject().key("code").value(entry.bit).key("text").value(trimmed(std::string(entry.text)));
        if (!cause.empty())
            json.key("cause").value(cause);
        json.endObject();
    }
    json.endArray();
}

}  // namespace

std::string refusedJson(const std::string& path)
{
    JsonWriter json;
    json.beginObject().key("path").value(path).key("state").value("refused").key("ok").value(false);
    json.key("errors").beginArray();
    json.beginObject().key("code").value(kErrorFileType).key("text").value("Invalid file type.");
    json.key("cause").value("not a WAV, AIFF, AIFF-C or FLAC file").endObject();
    json.endArray().key("destination").null().endObject();
    return json.text();
}

std::string jobJson(const AudioFile& job)
{
    const TableTexts texts = job.tableTexts();
    const auto text = [&](TableText which) { return trimmed(texts[static_cast<int>(which)]); };
    const int error = job.error;
    const int warning = job.warning;
    const bool converted = job.state == kStateConverted && error == 0;

    JsonWriter json;
    json.beginObject();
    json.key("path").value(job.inputFile);
    json.key("state").value(stateName(job.state));
    json.key("ok").value(error == 0);
    json.key("stateText").value(text(TableText::State));

    json.key("source").beginObject();
    json.key("type").value(text(TableText::FileType));
    if (job.srcFrameRate > 0) {
        json.key("frameRate").value(job.srcFrameRate);
        json.key("channels").value(job.srcChannels);
        json.key("bits").value(job.srcSampleBits);
        json.key("frames").value(job.srcFrames);
        json.key("seconds").value(job.srcFrames / job.srcFrameRate);
    }
    json.key("priorEnhancements").beginArray();
    for (const EnhancementType& type : kEnhancementTypes)
        if (type.markBit != 0 && ((job.warning_1 >> type.markBit) & 1u))
            json.value(type.displayName);
    if (job.unknownPriorEnhancement1)
        json.value(unknownEnhancementName(*job.unknownPriorEnhancement1));
    json.endArray();
    json.endObject();

    json.key("errors");
    bitTexts(json, kErrorTexts, error, job.errorCause());
    json.key("warnings");
    bitTexts(json, kWarningTexts, warning, {});

    json.key("destination");
    if (converted)
        json.value(text(TableText::DestinationName));
    else
        json.null();

    if (converted) {
        json.key("metrics").beginObject();
        json.key("clipPercent").value(job.clipPercent);
        json.key("clipDb").value(job.clipdB);
        json.key("rmsRatio").value(job.rmsRatio);
        json.key("correlation").value(job.ccc);
        json.key("frameRate").value(job.dstFrameRate);
        json.key("channels").value(job.dstChannelsData);
        json.key("bits").value(job.dstSampleBits);
        json.key("frames").value(job.dstFrames);
        json.endObject();
    }
    json.endObject();
    return json.text();
}

}  // namespace auralune
