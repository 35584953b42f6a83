#pragma once

#include <string_view>

namespace auralune {

// The internal-consistency failure: the engine met a state its callers never
// produce (a code outside its table, a wrong stage order). The format's "%s"
// is replaced by the method's full name, e.g. "-[AudioFile ProcessFileThread:]".
// The message goes to the log sink set here (and to standard error), then
// the program ends.
[[noreturn]] void raiseAssertion(std::string_view format, std::string_view method);

class Log;
// Where assertion messages are logged besides standard error.
void setAssertionLog(Log* log);

}  // namespace auralune
