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

// Replaces the first "%s" or "%d" of a message template with a value.
std::string FormatMessage(const std::string& pattern, const std::string& value);
std::string FormatMessage(const std::string& pattern, long long value);

} // namespace lumivane
