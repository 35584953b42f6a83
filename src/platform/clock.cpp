#include "platform/clock.h"

#include <chrono>

namespace auralune {

double SystemClock::seconds() const
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace auralune
