#include "platform/Error.h"

namespace platform {
namespace {

std::string Substitute(const std::string& pattern, const char* placeholder,
                       const std::string& arg) {
    std::string::size_type at = pattern.find(placeholder);
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + arg + pattern.substr(at + 2);
}

}  // namespace

std::string Format(const std::string& pattern, const std::string& arg) {
    return Substitute(pattern, "%s", arg);
}

std::string Format(const std::string& pattern, long long arg) {
    return Substitute(pattern, "%d", std::to_string(arg));
}

}  // namespace platform
