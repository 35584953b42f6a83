#include "engine/job_types.h"

#include <algorithm>

namespace auralune {

const FileTypeInfo* findFileType(int code)
{
    auto it = std::find_if(kFileTypes.begin(), kFileTypes.end(),
                           [&](const FileTypeInfo& t) { return t.code == code; });
    return it == kFileTypes.end() ? nullptr : &*it;
}

std::string errorTexts(int error)
{
    std::string text;
    for (const auto& entry : kErrorTexts)
        if (error & entry.bit)
            text.append(entry.text);
    return text;
}

}  // namespace auralune
