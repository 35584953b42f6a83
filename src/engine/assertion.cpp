#include "engine/assertion.h"

#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace auralune {

namespace {
std::atomic<Log*> assertionLog{nullptr};
}

void setAssertionLog(Log* log)
{
    assertionLog.store(log);
}

void raiseAssertion(std::string_view format, std::string_view method)
{
    std::string message(format);
    if (auto at = message.find("%s"); at != std::string::npos)
        message.replace(at, 2, method);
    if (Log* log = assertionLog.load())
        log->error("Internal inconsistency: " + message);
    std::fprintf(stderr, "Internal inconsistency: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace auralune
