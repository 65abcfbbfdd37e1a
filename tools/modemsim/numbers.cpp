#include "numbers.h"

namespace tarvik::modemsim {
namespace {

char digit(std::mt19937& random, int from = 0) {
    return static_cast<char>('0' + std::uniform_int_distribution<int>(from, 9)(random));
}

} // namespace

std::string randomCallerNumber(std::mt19937& random) {
    const int kind = std::uniform_int_distribution<int>(0, 19)(random);
    if (kind == 0 || kind == 1) return "Unknown";

    std::string number;
    if (kind < 5) { // long distance: area code first
        number += digit(random, 3);
        number += digit(random);
        number += digit(random);
    }
    number += digit(random, 2); // local numbers never start with 0 or 1
    for (int i = 0; i < 6; ++i)
        number += digit(random);

    // Category: ordinary subscribers are by far the most common.
    const bool ordinary = std::bernoulli_distribution(0.7)(random);
    number += ordinary ? '1' : digit(random);
    return number;
}

std::string withoutCategory(std::string number) {
    if (number == "Unknown") return "O";
    if (!number.empty()) number.pop_back();
    return number;
}

} // namespace tarvik::modemsim
