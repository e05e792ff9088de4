// The one error type handlers raise. Its text is CP932 and is what the error box shows.
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// printf-style "%s" / "%d" substitution for the program's fixed message texts.
std::string Format(const std::string& pattern, const std::string& arg);
std::string Format(const std::string& pattern, long long arg);

}  // namespace platform
