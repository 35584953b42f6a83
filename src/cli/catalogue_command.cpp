#include "cli/commands.h"

#include "engine/catalogue.h"
#include "engine/text_format.h"
#include "enhance/availability.h"
#include "formats/file_formats.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

namespace auralune {

namespace {

void printCatalogue(std::ostream& out)
{
    out << "Modes:\n" << formatText("  %5s  %s\n", "tag", "label");
    for (const Mode& mode : kModes)
        out << formatText("  %5u  %s\n", mode.tag, std::string(mode.label).c_str());

    // "-" in the first column: not available in this build yet.
    out << "\nEnhancement types (- not available in this build):\n"
        << formatText("    %-16s %3s %5s %6s  %-16s %-8s %s\n", "code", "bit", "group", "mode", "suffix key", "suffix",
                      "name");
    for (const EnhancementType& type : kEnhancementTypes) {
        const std::string mode = type.mode == 0 ? "all" : std::to_string(type.mode);
        out << formatText("  %c 0x%-14llx %3d %5d %6s  %-16s %-8s %s\n", enhancementAvailable(type.code()) ? ' ' : '-',
                          static_cast<unsigned long long>(type.code()), type.bit, type.group, mode.c_str(),
                          type.suffixKey().c_str(), type.defaultSuffix().c_str(), std::string(type.displayName).c_str());
    }

    out << "\nOutput formats (- not available in this build):\n" << formatText("    %5s  %s\n", "tag", "label");
    for (const OutputFormat& format : kOutputFormats)
        out << formatText("  %c %5u  %s%s\n", outputFormatAvailable(format.tag) ? ' ' : '-', format.tag,
                          std::string(format.label).c_str(), format.needsSixChannels ? " (six-channel results only)" : "");

    out << "\nFile formats:\n" << formatText("  %-6s %-16s %-16s %s\n", "word", "extensions", "written as", "MIME types");
    for (const FileFormat& format : kFileFormats) {
        std::string extensions, mimeTypes;
        for (std::string_view extension : format.extensions)
            if (!extension.empty())
                extensions.append(extensions.empty() ? "" : " ").append(extension);
        for (std::string_view mime : format.mimeTypes)
            if (!mime.empty())
                mimeTypes.append(mimeTypes.empty() ? "" : " ").append(mime);
        const std::string written(findFileType(format.fileType)->extension);
        out << formatText("  %-6s %-16s %-16s %s\n", std::string(format.formatWord).c_str(), extensions.c_str(),
                          format.writer ? written.c_str() : "(not written)", mimeTypes.c_str());
    }

    out << "\nDestination folder options:\n" << formatText("  %5s  %s\n", "tag", "label");
    for (const DestinationFolderOption& option : kDestinationFolderOptions)
        out << formatText("  %5u  %s\n", option.tag, std::string(option.label).c_str());
}

}  // namespace

void addCatalogueCommand(CLI::App& app, CommandContext& context)
{
    CLI::App* command = app.add_subcommand("catalogue", "List the modes, enhancement types, output formats and destination options");
    command->alias("list");
    command->callback([&context] { printCatalogue(context.out); });
}

}  // namespace auralune
