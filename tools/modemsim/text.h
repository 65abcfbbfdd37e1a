#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Small text helpers shared by the command line, the command language and the transcript.
namespace tarvik::modemsim {

using Millis = std::chrono::milliseconds;

// Bytes as printable ASCII: \r \n \t \\ and \xHH for every other byte below 0x20 or above 0x7e.
std::string escapeBytes(std::string_view bytes);
// The inverse of escapeBytes; nothing for a broken escape.
std::optional<std::string> unescapeBytes(std::string_view text);

// "300ms", "5s", "1.5s"; a bare number is refused so that no one guesses the unit.
std::optional<Millis> parseDuration(std::string_view text);
std::string formatDuration(Millis duration);

std::optional<int> parseInt(std::string_view text, int min, int max);
std::optional<bool> parseOnOff(std::string_view text);

bool equalsNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);

std::string_view trim(std::string_view text);

// One row of a help table: the left column, then the help wrapped to fit 80 columns.
std::string helpRow(std::string_view left, std::string_view help);
// The first blank-separated word and the trimmed rest of the text.
std::pair<std::string_view, std::string_view> splitWord(std::string_view text);

} // namespace tarvik::modemsim
