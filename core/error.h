#pragma once
// The one error type of the program: every failure carries the exact text that
// the user sees in the message box.
#include <stdexcept>
#include <string>

namespace lumivane {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Replaces the first "%s" or "%d" of a message template with a value. (Not named
// FormatMessage: the platform header makes that name a macro.)
std::string FormatText(const std::string& pattern, const std::string& value);
std::string FormatText(const std::string& pattern, long long value);

// The message of a system object that cannot be had: "%s" is what it is.
inline constexpr const char* kCannotBeMade = "%s cannot be made";

} // namespace lumivane
