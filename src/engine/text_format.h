#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace auralune {

// printf-style formatting into a string, for log lines and table texts whose
// exact form is fixed by a printf pattern.
[[gnu::format(printf, 1, 2)]] std::string formatText(const char* format, ...);

// Up to `width` bytes of a fixed-width text field as a C string: what "%4.4s"
// or "%16.16s" print from it stops at the first zero byte.
std::string fieldText(std::span<const std::uint8_t> field, std::size_t width);

// The system's description of an errno value ("Permission denied"), safe
// from any thread.
std::string systemErrorText(int code);

}  // namespace auralune
