#pragma once
#include <array>
#include <cstdint>

namespace tarvik {

// The bars of one eleven-bar digit as bits: the seven segments a (top),
// b (upper right), c (lower right), d (bottom), e (lower left), f (upper left)
// and g (middle), the decimal point, and four diagonal bars that run from the
// corners towards the centre.
using LedSegments = std::uint16_t;

inline constexpr LedSegments bOne = 1u << 0;        // a
inline constexpr LedSegments bTwo = 1u << 1;        // b
inline constexpr LedSegments bThree = 1u << 2;      // c
inline constexpr LedSegments bFour = 1u << 3;       // d
inline constexpr LedSegments bFive = 1u << 4;       // e
inline constexpr LedSegments bSix = 1u << 5;        // f
inline constexpr LedSegments bSeven = 1u << 6;      // g
inline constexpr LedSegments bpoint = 1u << 7;      // decimal point
inline constexpr LedSegments bDiagOne = 1u << 8;    // upper left
inline constexpr LedSegments bDiagTwo = 1u << 9;    // upper right
inline constexpr LedSegments bDiagThree = 1u << 10; // lower right
inline constexpr LedSegments bDiagFour = 1u << 11;  // lower left

inline constexpr LedSegments kAllBars = 0x0FFF;
inline constexpr LedSegments kDark = 0;

inline constexpr char kFirstGlyph = '0';
inline constexpr char kLastGlyph = 'z';

namespace glyph_detail {
inline constexpr LedSegments a = bOne, b = bTwo, c = bThree, d = bFour, e = bFive, f = bSix,
                             g = bSeven, ul = bDiagOne, ur = bDiagTwo, lr = bDiagThree,
                             ll = bDiagFour;

// Indexed by character - '0'. Letters the seven bars cannot tell apart use
// the diagonals (K, M, N, Q, R, V, W, X, Y, Z); upper and lower case share a
// shape where the seven bars already read well.
inline constexpr std::array<LedSegments, kLastGlyph - kFirstGlyph + 1> table = {
    a | b | c | d | e | f | ur | ll, // 0, slashed
    b | c,                           // 1
    a | b | g | e | d,               // 2
    a | b | g | c | d,               // 3
    f | g | b | c,                   // 4
    a | f | g | c | d,               // 5
    a | f | g | e | d | c,           // 6
    a | b | c,                       // 7
    a | b | c | d | e | f | g,       // 8
    a | b | c | d | f | g,           // 9
    a | d,                           // :
    g | ll,                          // ;
    ur | lr,                         // <
    g | d,                           // =
    ul | ll,                         // >
    a | b | g | e,                   // ?
    a | b | d | e | f | g,           // @
    a | b | c | e | f | g,           // A
    c | d | e | f | g,               // B
    a | d | e | f,                   // C
    b | c | d | e | g,               // D
    a | d | e | f | g,               // E
    a | e | f | g,                   // F
    a | c | d | e | f,               // G
    b | c | e | f | g,               // H
    e | f,                           // I
    b | c | d | e,                   // J
    e | f | g | ur | lr,             // K
    d | e | f,                       // L
    b | c | e | f | ul | ur,         // M
    b | c | e | f | ul | lr,         // N
    a | b | c | d | e | f,           // O
    a | b | e | f | g,               // P
    a | b | c | d | e | f | lr,      // Q
    a | b | e | f | g | lr,          // R
    a | c | d | f | g,               // S
    d | e | f | g,                   // T
    b | c | d | e | f,               // U
    e | f | ur | ll,                 // V
    b | c | e | f | lr | ll,         // W
    ul | ur | lr | ll,               // X
    ul | ur | ll,                    // Y
    a | d | ur | ll,                 // Z
    a | d | e | f,                   // [
    ul | lr,                         // backslash
    a | b | c | d,                   // ]
    f | a | b,                       // ^
    d,                               // _
    ul,                              // `
    a | b | c | d | e | g,           // a
    c | d | e | f | g,               // b
    d | e | g,                       // c
    b | c | d | e | g,               // d
    a | b | d | e | f | g,           // e
    a | e | f | g,                   // f
    a | b | c | d | f | g,           // g
    c | e | f | g,                   // h
    e,                               // i
    b | c | d,                       // j
    e | f | ur | lr,                 // k
    e | f,                           // l
    b | c | e | f | ul | ur,         // m
    c | e | g,                       // n
    c | d | e | g,                   // o
    a | b | e | f | g,               // p
    a | b | c | f | g,               // q
    e | g,                           // r
    a | c | d | f | g,               // s
    d | e | f | g,                   // t
    c | d | e,                       // u
    e | ll,                          // v
    c | e | lr | ll,                 // w
    ul | ur | lr | ll,               // x
    b | c | d | f | g,               // y
    g | d | ll,                      // z
};
} // namespace glyph_detail

// The eleven-bar glyph of a character; characters outside '0'..'z' are dark.
constexpr LedSegments LedGlyph(char ch) {
    if (ch < kFirstGlyph || ch > kLastGlyph) return kDark;
    return glyph_detail::table[static_cast<std::size_t>(ch - kFirstGlyph)];
}

// What setting a digit's character leaves lit: the glyph, and the decimal
// point if it was lit before.
constexpr LedSegments withCharacter(LedSegments current, char ch) {
    return static_cast<LedSegments>(LedGlyph(ch) | (current & bpoint));
}

// One digit of the LED row as the display logic sees it.
class LedDigit {
public:
    virtual ~LedDigit() = default;
    virtual LedSegments segments() const = 0;
    virtual void setSegments(LedSegments segments) = 0;
    void setCharacter(char ch) { setSegments(withCharacter(segments(), ch)); }
};

inline constexpr int kLedCount = 9;

// Led0 (left) to Led8 (right).
using LedRow = std::array<LedDigit*, kLedCount>;

} // namespace tarvik
