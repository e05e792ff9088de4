#include "elevated/Job.h"

#include <cstdio>
#include <cstdlib>

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

namespace elevated {
namespace {

constexpr char kVersion[] = "2";

// The fields of a job or result line: each ends with '|', found at character starts.
std::vector<std::string> Fields(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); i += text::CharLength(text, i)) {
        if (text[i] == '|') {
            out.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) out.emplace_back(text.substr(start));  // an unended last field
    return out;
}

bool EndsWithNoCase(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && text::EqualsNoCase(s.substr(s.size() - end.size()), end);
}

std::string FormatState(const std::optional<originals::Fingerprint>& state) {
    if (!state) return "-";
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(state->hash));
    return std::to_string(state->size) + ":" + hash;
}

// Digits only, no sign or blank: a number as FormatState writes it.
bool Number(std::string_view text, int base, std::uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    for (char c : text) {
        const bool digit = (c >= '0' && c <= '9') || (base == 16 && c >= 'a' && c <= 'f');
        if (!digit) return false;
    }
    char* end = nullptr;
    const std::string s(text);
    out = std::strtoull(s.c_str(), &end, base);
    return end == s.c_str() + s.size();
}

bool ParseState(std::string_view text, std::optional<originals::Fingerprint>& state) {
    if (text == "-") {
        state.reset();
        return true;
    }
    const std::size_t colon = text.find(':');
    originals::Fingerprint f;
    if (colon == std::string_view::npos || text.size() - colon - 1 != 16 ||
        !Number(text.substr(0, colon), 10, f.size) || !Number(text.substr(colon + 1), 16, f.hash)) {
        return false;
    }
    state = f;
    return true;
}

}  // namespace

std::string FormatJob(const Job& job) {
    std::string out = std::string(kVersion) + "|" + job.folder + "|";
    for (const Step& s : job.steps) {
        out += s.kind == Step::Kind::Copy ? "C|" : "R|";
        out += s.slot + "|" + FormatState(s.expected) + "|";
    }
    return out;
}

std::optional<Job> ParseJob(std::string_view text) {
    std::vector<std::string> f = Fields(text);
    if (f.size() < 2 || f[0] != kVersion || (f.size() - 2) % 3 != 0) return std::nullopt;
    Job job{f[1], {}};
    for (std::size_t i = 2; i < f.size(); i += 3) {
        if (f[i] != "C" && f[i] != "R") return std::nullopt;
        Step step{f[i] == "C" ? Step::Kind::Copy : Step::Kind::Remove, f[i + 1], "", {}};
        if (!ParseState(f[i + 2], step.expected)) return std::nullopt;
        job.steps.push_back(std::move(step));
    }
    return job;
}

bool IsSlotName(std::string_view name) {
    return slots::IsUsableSlotName(name) &&
           (EndsWithNoCase(name, ".mp3") || EndsWithNoCase(name, ".wav"));
}

bool IsWholePath(std::string_view path) {
    std::size_t root = paths::RootLength(path);
    if (root == 0 || root == 2) return false;  // relative, or "X:" (that drive's current folder)
    for (const std::string& part : paths::Components(path)) {
        if (part == "." || part == "..") return false;
    }
    return path.find_first_of("*?\"<>|\r\n") == std::string_view::npos;
}

bool IsPlainFolder(sys::System& system, const std::string& folder) {
    const std::vector<std::string> parts = paths::Components(folder);
    if (parts.empty() || paths::RootLength(folder) == 0) return false;
    std::string path = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        path = paths::Join(path, parts[i]);
        const std::uint32_t a = system.Attributes(path);
        if (a == sys::kNoFile || !(a & sys::kDirectory) || (a & sys::kReparsePoint)) return false;
    }
    return true;
}

std::string FormatResults(const std::vector<sys::FileError>& results) {
    std::string out;
    for (const sys::FileError& e : results) {
        std::string detail = e.detail;
        for (char& c : detail) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        out += std::to_string(static_cast<int>(e.fault)) + "|" + detail + "\r\n";
    }
    return out;
}

std::vector<sys::FileError> ParseResults(std::string_view text, std::size_t steps) {
    std::vector<sys::FileError> out(steps,
                                    {sys::Fault::Other, "管理者として行った結果がわかりません"});
    std::size_t k = 0, start = 0;
    while (k < steps && start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) break;  // a line cut short
        std::string_view line = text.substr(start, end - start);
        start = end + 2;
        std::size_t bar = line.find('|');
        int fault = bar == 1 || bar == 2 ? std::atoi(std::string(line.substr(0, bar)).c_str()) : -1;
        if (fault >= 0 && fault <= static_cast<int>(sys::Fault::NeedsRights) &&
            line.substr(0, bar).find_first_not_of("0123456789") == std::string_view::npos) {
            out[k] = {static_cast<sys::Fault>(fault), std::string(line.substr(bar + 1))};
        }
        ++k;
    }
    return out;
}

std::string Argument(const std::string& channel) { return kArgument + channel; }

std::optional<std::string> ChannelOf(std::string_view argument) {
    const std::string_view prefix = kArgument;
    if (argument.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::string_view channel = argument.substr(prefix.size());
    if (channel.empty() || channel.find_first_of("|\"\r\n ") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(channel);
}

std::string Frame(char type, std::string_view payload) {
    char header[10];
    std::snprintf(header, sizeof header, "%c%08zx", type, payload.size());
    return std::string(header, 9) + std::string(payload);
}

sys::FileError BadJobReason() {
    return {sys::Fault::Other, "管理者として行う操作として正しくないため、行いませんでした"};
}

sys::FileError LinkedFolderReason() {
    return {sys::Fault::Other,
            "コピー先のフォルダにジャンクションかシンボリックリンクが含まれているため、"
            "管理者としては書き込みませんでした"};
}

sys::FileError ChangedTargetReason() {
    return {sys::Fault::Other,
            "管理者の権限を確かめている間にコピー先のファイルが変わったため、書き込みませんでした"};
}

sys::FileError BadNameReason() { return {sys::Fault::Other, slots::kUnusableSlotName}; }

}  // namespace elevated
