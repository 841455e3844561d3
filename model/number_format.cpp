#include "model/number_format.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tessvert {
namespace {

__extension__ typedef unsigned __int128 u128;

constexpr char digit_pairs[201] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr std::uint64_t powers_of_ten[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

inline void write_pair(char* out, unsigned pair) {
    std::memcpy(out, digit_pairs + 2 * pair, 2);
}

// Digits of v, at least one. Setting the low bit keeps 0 at one digit and
// moves no other value across a power of ten.
inline int digit_count(std::uint64_t v) {
    v |= 1;
    // bit_width * log10(2), scaled by 4096, is at most one too high.
    const int guess = (std::bit_width(v) * 1233) >> 12;
    return guess + 1 - (v < powers_of_ten[guess]);
}

// Writes v in exactly `count` digits ending at out + count, with leading
// zeros if v is shorter.
inline void write_digits(char* out, std::uint64_t v, int count) {
    char* p = out + count;
    while (count >= 2) {
        p -= 2;
        write_pair(p, static_cast<unsigned>(v % 100));
        v /= 100;
        count -= 2;
    }
    if (count == 1) {
        p[-1] = static_cast<char>('0' + v);
    }
}

// The six fraction digits after the point.
inline void write_micro(char* out, std::uint32_t micro) {
    write_pair(out, micro / 10000);
    write_pair(out + 2, micro / 100 % 100);
    write_pair(out + 4, micro % 100);
}

// Classification: non-finite, zero and finite doubles each take their own way
// to the text.

// Infinity and NaN, written as "%f" writes them; the negative text is the
// positive one with the sign in front, so one string serves both.
inline std::size_t write_non_finite(bool negative, bool is_nan, char* out) {
    const char* text = is_nan ? "-nan" : "-inf";
    const std::size_t length = negative ? 4 : 3;
    std::memcpy(out, text + 4 - length, length);
    return length;
}

// An exact zero of either sign is written unsigned, unlike "%f"; only a
// non-zero value that rounds to zero keeps its sign.
inline std::size_t write_zero(char* out) {
    std::memcpy(out, "0.000000", 8);
    return 8;
}

// The magnitude of a finite non-zero double as m * 2^e, exactly: every later
// step is integer arithmetic on these two.
struct Magnitude {
    std::uint64_t m;
    int e;
};

inline Magnitude decompose(unsigned biased, std::uint64_t fraction) {
    // Subnormals have no implicit leading bit and share the smallest exponent.
    if (biased == 0) {
        return {fraction, -1074};
    }
    return {fraction | (std::uint64_t{1} << 52), static_cast<int>(biased) - 1075};
}

// Huge values: exact integers too large for one 64-bit word.

// m < 2^53, so up to e = 11 the value is an integer below 2^64; past that it
// needs write_huge's multi-limb arithmetic.
inline bool is_huge(Magnitude v) {
    return v.e > 11;
}

// m * 2^e for e large enough that the value is at least 2^64: an integer,
// so there is no rounding, only an exact conversion of up to 309 digits.
std::size_t write_huge(std::uint64_t m, int e, char* out) {
    // 2^1024 needs 32 limbs; the shifted 53-bit mantissa may spill into a
    // third limb past the one holding its lowest bit.
    constexpr int max_limbs = 35;
    std::uint32_t limbs[max_limbs] = {};
    const int low = e / 32;
    const u128 placed = static_cast<u128>(m) << (e % 32);
    limbs[low] = static_cast<std::uint32_t>(placed);
    limbs[low + 1] = static_cast<std::uint32_t>(placed >> 32);
    limbs[low + 2] = static_cast<std::uint32_t>(placed >> 64);
    int used = low + 3;
    while (used > 0 && limbs[used - 1] == 0) {
        --used;
    }

    // Peel off base-10^9 chunks, least significant first.
    constexpr std::uint32_t chunk_base = 1000000000;
    std::uint32_t chunks[40];
    int chunk_count = 0;
    while (used > 0) {
        std::uint64_t rest = 0;
        for (int i = used - 1; i >= 0; --i) {
            const std::uint64_t cur = (rest << 32) | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(cur / chunk_base);
            rest = cur % chunk_base;
        }
        chunks[chunk_count++] = static_cast<std::uint32_t>(rest);
        while (used > 0 && limbs[used - 1] == 0) {
            --used;
        }
    }

    char* p = out;
    const std::uint32_t top = chunks[chunk_count - 1];
    const int top_digits = digit_count(top);
    write_digits(p, top, top_digits);
    p += top_digits;
    for (int i = chunk_count - 2; i >= 0; --i) {
        write_digits(p, chunks[i], 9);
        p += 9;
    }
    std::memcpy(p, ".000000", 7);
    p += 7;
    return static_cast<std::size_t>(p - out);
}

// Rounding: the magnitude to whole + micro / 10^6.

struct Rounded {
    std::uint64_t whole;
    std::uint32_t micro;
};

// The six decimals of below_point / 2^shift, below_point < 2^shift. A result
// of 1000000 is possible and left to the caller to carry.
inline std::uint32_t round_micro(std::uint64_t below_point, int shift) {
    // below_point * 10^6 < 2^73, so past this shift it is less than half a
    // millionth and rounds to zero.
    if (shift > 80) {
        return 0;
    }
    // Adding half before truncating rounds ties away from zero, since we work
    // on the magnitude.
    const u128 scaled = static_cast<u128>(below_point) * 1000000u + (static_cast<u128>(1) << (shift - 1));
    return static_cast<std::uint32_t>(scaled >> shift);
}

// Only for values that are not huge: a larger e would shift m out of the
// 64-bit whole part.
inline Rounded round_to_micro(Magnitude v) {
    if (v.e >= 0) {
        return {v.m << v.e, 0};
    }
    const int shift = -v.e;
    Rounded r;
    std::uint64_t below_point;
    // Shifting a 64-bit word by 64 or more is undefined; the whole part is
    // then zero anyway and all of m lies below the point.
    if (shift < 64) {
        r.whole = v.m >> shift;
        below_point = v.m & ((std::uint64_t{1} << shift) - 1);
    } else {
        r.whole = 0;
        below_point = v.m;
    }
    r.micro = round_micro(below_point, shift);
    // Rounding up from .9999995 or more reaches the next whole number.
    if (r.micro == 1000000) {
        r.micro = 0;
        ++r.whole;
    }
    return r;
}

// Digits: the sign, the whole part, the point and the six decimals.

// The sign byte is always stored and kept only when negative, so a mix of
// signs costs no branch; digits overwrite it otherwise.
inline char* write_sign(char* out, bool negative) {
    *out = '-';
    return out + negative;
}

// Returns the end of the digits. May store up to eight bytes from out even for
// fewer digits; the caller writes the point and fraction over the rest.
inline char* write_whole(char* out, std::uint64_t whole) {
    const int whole_digits = digit_count(whole);
    if (whole < 10) {
        *out = static_cast<char>('0' + whole);
    } else if (std::endian::native == std::endian::little && whole < 100000000) {
        // Eight digits with leading zeros, shifted so the first significant one
        // comes first and stored at once: a varying digit count costs no
        // mispredicted loop.
        char eight[8];
        const auto high = static_cast<std::uint32_t>(whole / 10000);
        const auto low = static_cast<std::uint32_t>(whole % 10000);
        write_pair(eight, high / 100);
        write_pair(eight + 2, high % 100);
        write_pair(eight + 4, low / 100);
        write_pair(eight + 6, low % 100);
        std::uint64_t word;
        std::memcpy(&word, eight, 8);
        word >>= 8 * (8 - whole_digits);
        std::memcpy(out, &word, 8);
    } else {
        write_digits(out, whole, whole_digits);
    }
    return out + whole_digits;
}

// The point is written with the fraction because they always go together
// and it overwrites the last stray byte write_whole may leave.
inline char* write_fraction(char* out, std::uint32_t micro) {
    *out = '.';
    write_micro(out + 1, micro);
    return out + 7;
}

}  // namespace

std::size_t format_number(double value, char* out) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const unsigned biased = static_cast<unsigned>(bits >> 52) & 0x7ff;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);

    if (biased == 0x7ff) {
        return write_non_finite(negative, fraction != 0, out);
    }
    if ((bits << 1) == 0) {
        return write_zero(out);
    }
    const Magnitude magnitude = decompose(biased, fraction);

    char* p = write_sign(out, negative);
    if (is_huge(magnitude)) {
        return static_cast<std::size_t>(p - out) + write_huge(magnitude.m, magnitude.e, p);
    }
    const Rounded rounded = round_to_micro(magnitude);
    p = write_whole(p, rounded.whole);
    p = write_fraction(p, rounded.micro);
    return static_cast<std::size_t>(p - out);
}

double as_read_back(double value) {
    char text[number_text_max + 1];
    text[format_number(value, text)] = '\0';
    return std::strtod(text, nullptr);
}

bool written_as_zero(double value) {
    const double size = std::fabs(value);
    // Only values near half a millionth need their text to tell.
    if (!(size < 1e-6)) return false;
    if (size < 4e-7) return true;
    return as_read_back(value) == 0.0;
}

}  // namespace tessvert
