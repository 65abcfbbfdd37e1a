#include "text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tarvik::modemsim {
namespace {

constexpr char hexDigits[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

std::string escapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (u < 0x20 || u > 0x7e) {
                out += "\\x";
                out += hexDigits[u >> 4];
                out += hexDigits[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::optional<std::string> unescapeBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::optional<Millis> parseDuration(std::string_view text) {
    text = trim(text);
    double scale = 0;
    if (text.ends_with("ms")) {
        scale = 1;
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        scale = 1000;
        text.remove_suffix(1);
    } else {
        return std::nullopt;
    }
    const auto plain = [](char c) {
        return c == '.' || std::isdigit(static_cast<unsigned char>(c));
    };
    if (text.empty() || text.front() == '.' || !std::all_of(text.begin(), text.end(), plain))
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const double ms = value * scale;
    if (ms > 24.0 * 3600 * 1000) return std::nullopt;
    return Millis(static_cast<Millis::rep>(ms + 0.5));
}

std::string formatDuration(Millis duration) {
    const auto ms = duration.count();
    if (ms != 0 && ms % 1000 == 0) return std::to_string(ms / 1000) + "s";
    return std::to_string(ms) + "ms";
}

std::optional<int> parseInt(std::string_view text, int min, int max) {
    text = trim(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<bool> parseOnOff(std::string_view text) {
    text = trim(text);
    if (equalsNoCase(text, "on")) return true;
    if (equalsNoCase(text, "off")) return false;
    return std::nullopt;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string helpRow(std::string_view left, std::string_view help) {
    constexpr std::size_t indent = 2, helpColumn = 30, width = 80;
    std::string out(indent, ' ');
    out += left;
    if (out.size() + 1 > helpColumn)
        out += "\n" + std::string(helpColumn, ' ');
    else
        out.resize(helpColumn, ' ');
    std::size_t lineLength = helpColumn;
    bool first = true;
    while (!(help = trim(help)).empty()) {
        const auto [word, rest] = splitWord(help);
        if (!first && lineLength + 1 + word.size() > width) {
            out += "\n" + std::string(helpColumn, ' ');
            lineLength = helpColumn;
            first = true;
        }
        if (!first) {
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
        first = false;
        help = rest;
    }
    return out + "\n";
}

std::pair<std::string_view, std::string_view> splitWord(std::string_view text) {
    text = trim(text);
    const auto blank = std::find_if(text.begin(), text.end(), isBlank);
    const auto length = static_cast<std::size_t>(blank - text.begin());
    return {text.substr(0, length), trim(text.substr(length))};
}

} // namespace tarvik::modemsim
