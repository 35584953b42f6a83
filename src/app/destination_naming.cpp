#include "app/destination_naming.h"

#include "app/settings_keys.h"
#include "engine/assertion.h"

#include <filesystem>

namespace auralune {

std::string sourceNameText(const std::string& path, bool showExtension, bool showFullPath)
{
    const std::filesystem::path p(path);
    std::filesystem::path shown = showFullPath ? p : p.filename();
    if (!showExtension)
        shown.replace_extension();
    return shown.string();
}

bool isUsableFileSuffix(const std::string& suffix)
{
    return suffix.find('/') == std::string::npos;
}

DestinationNaming::DestinationNaming(DefaultsStore& store, Log& log, std::string musicFolder)
    : store_(store), log_(log), model_(store, log, std::move(musicFolder))
{
    setEnhancements(kEnhancementNone, kEnhancementNone);
}

void DestinationNaming::setEnhancements(EnhancementCode enhancement1, EnhancementCode enhancement2)
{
    enhancement1_ = enhancement1;
    enhancement2_ = enhancement2;
    updateFileSuffixText(1);
    updateFileSuffixText(2);
}

const std::string& DestinationNaming::fieldText(int stage) const
{
    stageCode(stage, "-[TableViewController updateFileSuffixText:]");
    return stage == 1 ? field1_ : field2_;
}

EnhancementCode DestinationNaming::stageCode(int stage, const char* method) const
{
    if (stage != 1 && stage != 2)
        raiseAssertion("Unexpected paramter in %s", method);
    return stage == 1 ? enhancement1_ : enhancement2_;
}

void DestinationNaming::updateFileSuffixText(int stage)
{
    const EnhancementCode code = stageCode(stage, "-[TableViewController updateFileSuffixText:]");
    (stage == 1 ? field1_ : field2_) = model_.fileSuffix(code);
}

bool DestinationNaming::updateFileSuffix(int stage, const std::string& text)
{
    const EnhancementCode code = stageCode(stage, "-[TableViewController updateFileSuffix:]");
    if (!isUsableFileSuffix(text)) {
        updateFileSuffixText(stage);
        return false;
    }
    const EnhancementType* type = findEnhancement(code);
    if (!type)
        raiseAssertion("Unexpected filter in %s", "-[TableViewController updateFileSuffix:]");
    store_.setString(type->suffixKey(), text);
    (stage == 1 ? field1_ : field2_) = text;
    if (enhancement1_ == enhancement2_)
        updateFileSuffixText(stage == 1 ? 2 : 1);
    return true;
}

void DestinationNaming::updateDestinationFolderOption(std::uint32_t tag, bool fromPopup)
{
    if (fromPopup) {
        std::string title = std::to_string(tag);
        for (const DestinationFolderOption& option : kDestinationFolderOptions)
            if (option.tag == tag)
                title = option.label;
        log_.info("Destination folder option changed: " + title + " (" + std::to_string(tag) + ")");
    }
    store_.setString(std::string(kDestinationFolderOptionKey), tagText(tag));
}

void DestinationNaming::selectDestinationFolder(const std::string& path)
{
    log_.info("Destination path: " + path);
    store_.setString(std::string(kDestinationFolderKey), path);
}

std::string DestinationNaming::destinationFolder() const
{
    return model_.destinationFolder();
}

bool DestinationNaming::destinationPathFollows() const
{
    return model_.destinationPathFollows();
}

}  // namespace auralune
