#include "platform/paths/Paths.h"

#include "platform/text/Cp932.h"

namespace paths {
namespace {

// The character at s[i] and its length: CP932 lead and trail bytes stay together; a
// UTF-16 string is taken unit by unit (a surrogate is never a separator).
std::size_t Step(std::string_view s, std::size_t i) { return text::CharLength(s, i); }
std::size_t Step(std::u16string_view, std::size_t) { return 1; }

template <class C>
bool IsSep(std::basic_string_view<C> s, std::size_t i) {
    return s[i] == C('\\') || s[i] == C('/');
}

template <class C>
std::size_t RootOf(std::basic_string_view<C> p) {
    if (p.size() >= 2 && p[1] == C(':') && p[0] != C('\\') && p[0] != C('/')) {
        return p.size() >= 3 && IsSep(p, 2) ? 3 : 2;
    }
    if (p.size() < 2 || !IsSep(p, 0) || !IsSep(p, 1)) return 0;
    // "\\server\share\": two separators after the leading pair.
    int seps = 0;
    for (std::size_t i = 2; i < p.size(); i += Step(p, i)) {
        if (IsSep(p, i) && ++seps == 2) return i + 1;
    }
    return p.size();
}

template <class C>
std::vector<std::basic_string<C>> Split(std::basic_string_view<C> p) {
    std::vector<std::basic_string<C>> out;
    std::size_t root = RootOf(p);
    if (root > 0) out.emplace_back(p.substr(0, root));
    std::size_t start = root;
    for (std::size_t i = root; i <= p.size();) {
        if (i == p.size() || IsSep(p, i)) {
            if (i > start) out.emplace_back(p.substr(start, i - start));
            start = i + 1;
            ++i;
        } else {
            i += Step(p, i);
        }
    }
    return out;
}

// Where the last part starts and ends, trailing separators left out, and where the part
// before it ends (the root's end when there is none). Walked forward: a CP932 trail byte
// 0x5C is no separator.
struct Span {
    std::size_t before, start, end;
};

template <class C>
Span LastSpan(std::basic_string_view<C> p) {
    std::size_t root = RootOf(p);
    Span span{root, root, root};
    for (std::size_t i = root; i < p.size();) {
        if (IsSep(p, i)) {
            ++i;
            continue;
        }
        std::size_t start = i;
        while (i < p.size() && !IsSep(p, i)) i += Step(p, i);
        span = {span.end, start, i};
    }
    return span;
}

template <class C>
std::basic_string<C> LastOf(std::basic_string_view<C> p) {
    Span s = LastSpan(p);
    return std::basic_string<C>(p.substr(s.start, s.end - s.start));
}

template <class C>
std::basic_string<C> ParentOf(std::basic_string_view<C> p) {
    std::size_t root = RootOf(p);
    Span s = LastSpan(p);
    if (s.start == s.end) return {};  // a root, or nothing
    if (s.before <= root) return std::basic_string<C>(p.substr(0, root));
    return std::basic_string<C>(p.substr(0, s.before));
}

}  // namespace

std::size_t RootLength(std::string_view path) { return RootOf(path); }
std::size_t RootLength(std::u16string_view path) { return RootOf(path); }
std::vector<std::string> Components(std::string_view path) { return Split(path); }
std::vector<std::u16string> Components(std::u16string_view path) { return Split(path); }
std::string LastPart(std::string_view path) { return LastOf(path); }
std::u16string LastPart(std::u16string_view path) { return LastOf(path); }
std::string Parent(std::string_view path) { return ParentOf(path); }
std::u16string Parent(std::u16string_view path) { return ParentOf(path); }

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() || text::EndsWithBackslash(folder) ? folder + name : folder + "\\" + name;
}

Usable MakeUsable(std::u16string_view path, const ShortNameOf& shortName) {
    Usable out;
    if (text::FitsCp932(path)) {
        out.path = text::FromUtf16(path);
        return out;
    }
    std::vector<std::u16string> parts = Split(path);
    const std::size_t root = RootOf(path);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const std::u16string& part = parts[k];
        std::string spelled;
        if (text::FitsCp932(part)) {
            spelled = text::FromUtf16(part);
        } else {
            std::string alias = k == 0 && root > 0 ? std::string() : shortName(out.path, part);
            if (!alias.empty() && text::FitsCp932(text::ToUtf16(alias))) {
                spelled = alias;
            } else {
                spelled = text::FromUtf16(part);  // "?" where CP932 lacks a character
                if (out.unspellable.empty()) {
                    out.unspellable = part;
                    out.unspellableIsLast = k + 1 == parts.size();
                }
            }
        }
        out.path = k == 0 ? spelled : Join(out.path, spelled);
    }
    // A trailing separator stays (a folder given as "C:\a\").
    if (path.size() > root && (path.back() == u'\\' || path.back() == u'/')) out.path += '\\';
    return out;
}

}  // namespace paths
