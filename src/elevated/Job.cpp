#include "elevated/Job.h"

#include <cstdlib>

#include "platform/paths/Paths.h"
#include "platform/text/Cp932.h"
#include "slots/Slots.h"

namespace elevated {
namespace {

constexpr char kVersion[] = "1";

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

sys::FileError Refused() {
    return {sys::Fault::Other, "管理者として行う操作として正しくないため、行いませんでした"};
}

}  // namespace

std::string FormatJob(const Job& job) {
    std::string out = std::string(kVersion) + "|" + job.folder + "|";
    for (const Step& s : job.steps) {
        out += s.kind == Step::Kind::Copy ? "C|" : "R|";
        out += s.slot + "|" + s.source + "|";
    }
    return out;
}

std::optional<Job> ParseJob(std::string_view text) {
    std::vector<std::string> f = Fields(text);
    if (f.size() < 2 || f[0] != kVersion || (f.size() - 2) % 3 != 0) return std::nullopt;
    Job job{f[1], {}};
    for (std::size_t i = 2; i < f.size(); i += 3) {
        if (f[i] != "C" && f[i] != "R") return std::nullopt;
        job.steps.push_back(
            {f[i] == "C" ? Step::Kind::Copy : Step::Kind::Remove, f[i + 1], f[i + 2]});
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

bool Check(const Job& job) {
    if (!IsWholePath(job.folder)) return false;
    for (const Step& s : job.steps) {
        if (!IsSlotName(s.slot)) return false;
        if (s.kind == Step::Kind::Copy ? !IsWholePath(s.source) : !s.source.empty()) return false;
    }
    return true;
}

std::vector<sys::FileError> Run(sys::System& system, const Job& job) {
    std::vector<sys::FileError> out(job.steps.size());
    if (!Check(job)) {
        for (sys::FileError& e : out) e = Refused();
        return out;
    }
    for (std::size_t i = 0; i < job.steps.size(); ++i) {
        const Step& s = job.steps[i];
        const std::string destination = slots::DestinationPath(job.folder, s.slot);
        bool ok = s.kind == Step::Kind::Copy
                      ? system.CopyFileTo(s.source, destination, false, &out[i])
                      : system.RemoveFile(destination, &out[i]);
        if (ok) out[i] = {};
    }
    return out;
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

}  // namespace elevated
