#include "formats/file_formats.h"

#include <cctype>
#include <filesystem>

namespace auralune {

namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

}  // namespace

const FileFormat* findFileFormat(int fileType)
{
    const FileTypeInfo* info = findFileType(fileType);
    if (info && info->extension == "wav")
        fileType = kFileWav;
    for (const FileFormat& format : kFileFormats)
        if (format.fileType == fileType)
            return &format;
    return nullptr;
}

const FileFormat* fileFormatForPath(std::string_view path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    if (extension.size() < 2)
        return nullptr;
    extension = lowered(std::string_view(extension).substr(1));
    for (const FileFormat& format : kFileFormats)
        for (std::string_view known : format.extensions)
            if (!known.empty() && known == extension)
                return &format;
    return nullptr;
}

std::vector<std::string> sourceExtensionSpellings()
{
    std::vector<std::string> spellings;
    for (const FileFormat& format : kFileFormats)
        for (std::string_view extension : format.extensions) {
            if (extension.empty())
                continue;
            std::string upper(extension), capital(extension);
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            capital[0] = upper[0];
            spellings.insert(spellings.end(), {std::string(extension), upper, capital});
        }
    return spellings;
}

std::string desktopMimeTypes()
{
    std::string line;
    for (const FileFormat& format : kFileFormats)
        for (std::string_view mime : format.mimeTypes)
            if (!mime.empty())
                line.append(mime).append(";");
    return line;
}

std::string formatWords()
{
    std::string words;
    for (const FileFormat& format : kFileFormats)
        words.append(words.empty() ? "" : ", ").append(format.formatWord);
    return words;
}

}  // namespace auralune
