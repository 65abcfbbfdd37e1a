// Figures of the phone book's lookup of a caller: the time to prepare the
// index of a book of made-up entries (a third ten digits, a third formatted
// with the country code, a third local numbers of seven digits; of those with
// an area code one in fifty shares the same last seven digits), and the time of one lookup over
// 10,000 lookups each of callers in the book (in another form than their
// entry), callers not in it, and callers that share the crowded last seven
// digits but match none of them. Prints them; it is not a test.
//   bench_phone_index [ENTRIES]   (default 100000)
#include "store/phone_index.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLookups = 10'000;
constexpr int kBuilds = 5;
constexpr const char* kCrowdedTail = "5550100";

struct Book {
    QList<PhoneItem> items;
    QList<QByteArray> callers; // for each entry, its number as a caller reports it
};

QByteArray randomDigits(std::mt19937& random, int count) {
    std::uniform_int_distribution<int> digit(0, 9);
    QByteArray digits = QByteArray::number(std::uniform_int_distribution<int>(1, 9)(random));
    while (digits.size() < count)
        digits += static_cast<char>('0' + digit(random));
    return digits;
}

Book makeBook(int entries, std::mt19937& random) {
    Book book;
    for (int i = 0; i < entries; ++i) {
        const QByteArray area = randomDigits(random, 3);
        const QByteArray local = i % 150 < 2 ? QByteArray(kCrowdedTail) : randomDigits(random, 7);
        QByteArray phone, caller;
        switch (i % 3) {
        case 0:
            phone = area + local, caller = "1" + area + local;
            break;
        case 1:
            phone = "+1 (" + area + ") " + local.left(3) + '-' + local.mid(3);
            caller = area + local;
            break;
        default:
            phone = local.left(3) + '-' + local.mid(3), caller = area + local;
        }
        book.items.append({phone, "Name " + QByteArray::number(i), "", psNormal});
        book.callers.append(caller);
    }
    return book;
}

struct Spread {
    double median = 0, max = 0;
};

Spread spreadOf(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us.back()};
}

// Times each lookup on its own; counts the callers found.
Spread timeLookups(const PhoneIndex& index, const std::function<QByteArray(int)>& caller,
                   int& found) {
    std::vector<double> us;
    found = 0;
    for (int i = 0; i < kLookups; ++i) {
        const QByteArray number = caller(i);
        const Clock::time_point start = Clock::now();
        const int row = index.find(number);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        found += row >= 0;
    }
    return spreadOf(us);
}

} // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100'000;
    std::mt19937 random(20240601);
    const Book book = makeBook(entries, random);

    std::vector<double> buildMs;
    PhoneIndex index;
    for (int run = 0; run < kBuilds; ++run) {
        const Clock::time_point start = Clock::now();
        index = PhoneIndex(book.items);
        buildMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const Spread build = spreadOf(buildMs);
    std::printf("%d entries: index prepared in %.1f ms (median of %d, max %.1f ms)\n", entries,
                build.median, kBuilds, build.max);

    std::uniform_int_distribution<int> anyEntry(0, entries - 1);
    const auto print = [](const char* what, const Spread& s, int found) {
        std::printf("%-40s median %6.2f us, max %7.2f us, found %d of %d\n", what, s.median, s.max,
                    found, kLookups);
    };
    int found = 0;
    Spread s = timeLookups(
        index, [&](int) { return book.callers[anyEntry(random)]; }, found);
    print("callers in the book:", s, found);
    s = timeLookups(
        index, [&](int) { return "0" + randomDigits(random, 9); }, found);
    print("callers not in the book:", s, found);
    s = timeLookups(
        index, [&](int) { return "0" + randomDigits(random, 2) + kCrowdedTail; }, found);
    print("callers sharing the crowded last digits:", s, found);
    return 0;
}
