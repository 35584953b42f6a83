#pragma once

#include "platform/log.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// The independent tools (sox, ffmpeg, flac, metaflac) the format tests check
// against. Tests skip themselves where a tool is not installed.
namespace auralune::test {

inline bool haveTool(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; true when it exits with 0.
inline bool runQuietly(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// What a shell command writes to standard output.
inline std::string commandOutput(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, pipe))
            text.append(chunk, n);
        ::pclose(pipe);
    }
    return text;
}

// The interleaved little-endian samples of a file as sox decodes them.
inline std::string soxRawSamples(const std::string& path)
{
    return commandOutput("sox '" + path + "' -t raw -e signed -L - 2>/dev/null");
}

// The same through ffmpeg, at the file's own width (16 or 24 bits).
inline std::string ffmpegRawSamples(const std::string& path, int bits)
{
    const std::string codec = bits == 24 ? "pcm_s24le" : "pcm_s16le";
    return commandOutput("ffmpeg -v quiet -i '" + path + "' -f " + codec.substr(4) + " -c:a " + codec + " -");
}

// Every captured line, for failure messages.
inline std::string logText(const CapturingLog& log)
{
    std::string text;
    for (const std::string& line : log.lines())
        text.append(line).append("\n");
    return text;
}

}  // namespace auralune::test
