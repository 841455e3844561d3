// Tests of the number format: every double written with six decimals, ties
// rounded away from zero, exact zeros unsigned. The expected text comes from
// an exact decimal expansion of each double, rounded by string arithmetic.

#include "model/number_format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace tessvert {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::string format(double v) {
    char buf[number_text_max];
    const std::size_t n = format_number(v, buf);
    return std::string(buf, n);
}

std::string printf_f(double v) {
    char buf[400];
    const int n = std::snprintf(buf, sizeof buf, "%f", v);
    return std::string(buf, static_cast<std::size_t>(n));
}

// The exact decimal expansion of a finite double. A double is a multiple of
// 2^(exponent - 53) (and never finer than 2^-1074), so it has at most that
// many fraction digits; printing that many leaves nothing to round. At least
// seven are printed so that the rounding digit is always there.
std::string exact_decimal(double v) {
    int exponent = 0;
    std::frexp(v, &exponent);
    const int digits = std::clamp(53 - exponent, 7, 1074);
    char buf[1500];
    const int n = std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return std::string(buf, static_cast<std::size_t>(n));
}

// Cuts an exact expansion to six decimals, rounding the magnitude up when the
// seventh digit is 5 or more: that is round-half-away-from-zero, because
// only an exact tie has 5 followed by nothing but zeros.
std::string round_six_away(const std::string& exact) {
    const std::size_t point = exact.find('.');
    std::string kept = exact.substr(0, point + 7);
    if (exact[point + 7] < '5') {
        return kept;
    }
    const std::size_t first = kept[0] == '-' ? 1 : 0;
    for (std::size_t i = kept.size(); i-- > first;) {
        if (kept[i] == '.') {
            continue;
        }
        if (kept[i] != '9') {
            ++kept[i];
            return kept;
        }
        kept[i] = '0';
    }
    // Carried out of the top digit: 9.9999995 becomes 10.000000.
    return kept.substr(0, first) + "1" + kept.substr(first);
}

std::string reference(double v) {
    if (std::isnan(v)) {
        return std::signbit(v) ? "-nan" : "nan";
    }
    if (std::isinf(v)) {
        return v < 0 ? "-inf" : "inf";
    }
    if (v == 0) {
        return "0.000000";
    }
    return round_six_away(exact_decimal(v));
}

// True when v lies exactly halfway between two six-decimal results.
bool is_tie(double v) {
    if (!std::isfinite(v)) {
        return false;
    }
    const std::string exact = exact_decimal(v);
    const std::size_t point = exact.find('.');
    return exact[point + 7] == '5' && exact.find_first_not_of('0', point + 8) == std::string::npos;
}

std::string describe(double v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%a (%.17g)", v, v);
    return buf;
}

// Compares many values without flooding the log: reports the first few
// mismatches and counts the rest.
class Comparison {
public:
    void against_reference(double v) { compare(v, reference(v), "reference"); }
    void against_printf(double v) { compare(v, printf_f(v), "printf %f"); }

    void expect_clean(std::size_t at_least) const {
        EXPECT_EQ(failures_, 0u) << "of " << checked_ << " values";
        EXPECT_GE(checked_, at_least);
    }

private:
    void compare(double v, const std::string& want, const char* source) {
        ++checked_;
        const std::string got = format(v);
        if (got != want && ++failures_ <= 10) {
            ADD_FAILURE() << describe(v) << ": got \"" << got << "\", " << source << " says \"" << want << "\"";
        }
    }

    std::size_t checked_ = 0;
    std::size_t failures_ = 0;
};

// --- The reference itself, on values whose expansions are known. ---

std::string without_trailing_zeros(std::string s) {
    s.erase(s.find_last_not_of('0') + 1);
    return s;
}

TEST(NumberFormatReference, ExactDecimalIsExact) {
    EXPECT_EQ(without_trailing_zeros(exact_decimal(0.1)), "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(without_trailing_zeros(exact_decimal(0.0078125)), "0.0078125");
    EXPECT_EQ(without_trailing_zeros(exact_decimal(-1.5)), "-1.5");
    EXPECT_EQ(exact_decimal(1e15), "1000000000000000.0000000");
    const std::string tiny = exact_decimal(std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(tiny.size(), 2u + 1074u);
    EXPECT_EQ(tiny.substr(0, 330), "0." + std::string(323, '0') + "49406");
    EXPECT_EQ(tiny.back(), '5');
}

TEST(NumberFormatReference, RoundsHalfAwayWithCarry) {
    EXPECT_EQ(round_six_away("0.0078125"), "0.007813");
    EXPECT_EQ(round_six_away("-0.0078125"), "-0.007813");
    EXPECT_EQ(round_six_away("0.0078124999"), "0.007812");
    EXPECT_EQ(round_six_away("9.9999995"), "10.000000");
    EXPECT_EQ(round_six_away("-99.9999996"), "-100.000000");
    EXPECT_EQ(round_six_away("0.0000004999"), "0.000000");
    EXPECT_EQ(round_six_away("-0.0000005"), "-0.000001");
    EXPECT_TRUE(is_tie(0.0078125));
    EXPECT_TRUE(is_tie(-3.0 / 128));
    EXPECT_FALSE(is_tie(2.0 / 128));
    EXPECT_FALSE(is_tie(std::nextafter(0.0078125, 1.0)));
}

// --- Worked examples and fixed values. ---

TEST(NumberFormatExamples, WorkedExamples) {
    EXPECT_EQ(format(0.0078125), "0.007813");
    EXPECT_EQ(format(-0.0078125), "-0.007813");
    EXPECT_EQ(format(-0.0), "0.000000");
    EXPECT_EQ(format(0.0), "0.000000");
    EXPECT_EQ(format(-1e-9), "-0.000000");
    EXPECT_EQ(format(1.0), "1.000000");
    EXPECT_EQ(format(128 * 0.00392156862745098), "0.501961");
    EXPECT_EQ(format(-1.5), "-1.500000");
    EXPECT_EQ(format(20.0), "20.000000");
    EXPECT_EQ(format(static_cast<double>(1.3333f)), "1.333300");
    EXPECT_EQ(format(97.87234246730804), "97.872342");
}

TEST(NumberFormatExamples, NonFinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(format(std::copysign(nan, 1.0)), "nan");
    EXPECT_EQ(format(std::copysign(nan, -1.0)), "-nan");
    EXPECT_EQ(format(inf), "inf");
    EXPECT_EQ(format(-inf), "-inf");
    // Signalling NaNs and NaNs with other payloads are written alike.
    EXPECT_EQ(format(std::bit_cast<double>(0x7ff0000000000001ULL)), "nan");
    EXPECT_EQ(format(std::bit_cast<double>(0xfff8000000000001ULL)), "-nan");
    EXPECT_EQ(format(std::bit_cast<double>(0x7fffffffffffffffULL)), "nan");
    for (double v : {std::copysign(nan, 1.0), std::copysign(nan, -1.0), inf, -inf}) {
        EXPECT_EQ(format(v), printf_f(v)) << describe(v);
    }
}

TEST(NumberFormatExamples, RoundingCarriesAcrossDigits) {
    EXPECT_EQ(format(0.9999995), "1.000000");
    EXPECT_EQ(format(-0.9999995), "-1.000000");
    EXPECT_EQ(format(9.9999995), "9.999999");  // the double is just below the half
    EXPECT_EQ(format(99.9999995), "100.000000");
    EXPECT_EQ(format(999999.9999995), "999999.999999");
    EXPECT_EQ(format(9999999.9999995), "10000000.000000");
    EXPECT_EQ(format(9.5e-7), "0.000001");
    EXPECT_EQ(format(4.9e-7), "0.000000");
    EXPECT_EQ(format(5e-7), "0.000000");  // the double is just below 5e-7
    EXPECT_EQ(format(-5e-7), "-0.000000");
    EXPECT_EQ(format(std::nextafter(5e-7, 1.0)), "0.000001");
    EXPECT_EQ(format(-std::nextafter(5e-7, 1.0)), "-0.000001");
    EXPECT_EQ(format(0.5), "0.500000");
    EXPECT_EQ(format(std::ldexp(1.0, 44) + 0.05), "17592186044416.050781");
    EXPECT_EQ(format(1.8446744073709552e13 + 0.5), "18446744073710.050781");
    EXPECT_EQ(format(4503599627370495.5), "4503599627370495.500000");
    EXPECT_EQ(format(std::ldexp(std::ldexp(1.0, 53) - 1, -7)), "70368744177663.992188");
}

TEST(NumberFormatExamples, HugeValues) {
    EXPECT_EQ(format(1e15), "1000000000000000.000000");
    EXPECT_EQ(format(std::ldexp(1.0, 53) + 2), "9007199254740994.000000");
    EXPECT_EQ(format(std::ldexp(1.0, 63)), "9223372036854775808.000000");
    EXPECT_EQ(format(std::nextafter(std::ldexp(1.0, 64), 0.0)), "18446744073709549568.000000");
    EXPECT_EQ(format(std::ldexp(1.0, 64)), "18446744073709551616.000000");
    EXPECT_EQ(format(-std::ldexp(1.0, 64)), "-18446744073709551616.000000");
    EXPECT_EQ(format(std::nextafter(std::ldexp(1.0, 64), inf)), "18446744073709555712.000000");
    EXPECT_EQ(format(1e20), "100000000000000000000.000000");
    const std::string max_text =
        "1797693134862315708145274237317043567980705675258449965989174768031572"
        "6078002853876058955863276687817154045895351438246423432132688946418276"
        "8467546703537516986049910576551282076245490090389328944075868508455133"
        "9423045832369032229481658085593321233482747978262041447231687381771809"
        "19299881250404026184124858368.000000";
    EXPECT_EQ(format(DBL_MAX), max_text);
    const std::string neg_max = format(-DBL_MAX);
    EXPECT_EQ(neg_max, "-" + max_text);
    EXPECT_EQ(neg_max.size(), 1u + 309u + 7u);
    for (int e = 0; e <= 1023; ++e) {
        const double p = std::ldexp(1.0, e);
        EXPECT_EQ(format(p), reference(p)) << "2^" << e;
        EXPECT_EQ(format(-p), reference(-p)) << "-2^" << e;
    }
    for (int k = 0; k <= 308; ++k) {
        const double p = std::pow(10.0, k);
        EXPECT_EQ(format(p), reference(p)) << "1e" << k;
    }
}

TEST(NumberFormatExamples, TinyValues) {
    const double true_min = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(format(true_min), "0.000000");
    EXPECT_EQ(format(-true_min), "-0.000000");
    EXPECT_EQ(format(DBL_MIN), "0.000000");
    EXPECT_EQ(format(-DBL_MIN), "-0.000000");
    EXPECT_EQ(format(std::nextafter(DBL_MIN, 0.0)), "0.000000");
    EXPECT_EQ(format(-std::nextafter(DBL_MIN, 0.0)), "-0.000000");
    EXPECT_EQ(format(1e-7), "0.000000");
    EXPECT_EQ(format(-1e-300), "-0.000000");
    for (int k = 1; k <= 323; ++k) {
        const double p = std::pow(10.0, -k);
        EXPECT_EQ(format(p), reference(p)) << "1e-" << k;
    }
}

TEST(NumberFormatExamples, ZerosOfBothSigns) {
    EXPECT_EQ(format(0.0), "0.000000");
    EXPECT_EQ(format(-0.0), "0.000000");
    EXPECT_EQ(format(std::bit_cast<double>(0x8000000000000000ULL)), "0.000000");
    EXPECT_EQ(format(static_cast<double>(-0.0f)), "0.000000");
}

// --- Ties and their neighbours. ---

// Every odd multiple of 1/128 is a tie; check them with their neighbours.
TEST(NumberFormatTies, OddMultiplesOf128th) {
    Comparison cmp;
    std::size_t ties = 0;
    std::size_t not_ties = 0;
    std::size_t printf_mismatches = 0;
    auto check_tie = [&](double t) {
        if (is_tie(t)) {
            ++ties;
        } else {
            ++not_ties;
        }
        cmp.against_reference(t);
        cmp.against_reference(std::nextafter(t, 0.0));
        cmp.against_reference(std::nextafter(t, std::copysign(inf, t)));
        // Where a double's spacing is well below half a millionth, the next
        // double away from zero rounds the way the tie should, and it is not a
        // tie, so the C library's rounding can stand in for ours.
        if (std::fabs(t) < std::ldexp(1.0, 31)) {
            const std::string want = printf_f(std::nextafter(t, std::copysign(inf, t)));
            if (format(t) != want && ++printf_mismatches <= 10) {
                ADD_FAILURE() << describe(t) << ": got " << format(t) << ", want " << want;
            }
        }
    };
    for (std::int64_t k = 1; k < (1 << 17); k += 2) {
        check_tie(static_cast<double>(k) / 128);
        check_tie(-static_cast<double>(k) / 128);
    }
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < 100000; ++i) {
        // Odd k of any size up to 53 bits, so ties up to 2^46.
        const std::uint64_t k = (rng() >> (11 + rng() % 53)) | 1;
        const double t = std::ldexp(static_cast<double>(k), -7);
        check_tie(i % 2 == 0 ? t : -t);
    }
    const double largest = std::ldexp(std::ldexp(1.0, 53) - 1, -7);
    check_tie(largest);
    check_tie(-largest);
    cmp.expect_clean(3 * (2 * 65536 + 100000));
    EXPECT_EQ(not_ties, 0u) << "values meant as ties that are not ties";
    EXPECT_EQ(printf_mismatches, 0u);
    EXPECT_GT(ties, 200000u);
}

TEST(NumberFormatTies, NothingElseIsATie) {
    // Multiples of 1/64 have at most six decimals, so they are exact results,
    // not ties; and a sample of other doubles below 2^46 with fraction bits
    // finer than 1/128 never lands halfway.
    std::mt19937_64 rng(77);
    for (int i = 0; i < 20000; ++i) {
        const double even = std::ldexp(static_cast<double>(rng() >> 20), -6);
        ASSERT_FALSE(is_tie(even)) << describe(even);
        EXPECT_EQ(format(even), printf_f(even)) << describe(even);
        const double fine = std::ldexp(static_cast<double>((rng() >> 11) | 1), -8 - static_cast<int>(rng() % 40));
        ASSERT_FALSE(is_tie(fine)) << describe(fine);
    }
}

// --- Random values against the exact reference. ---

TEST(NumberFormatRandom, AllBitPatterns) {
    std::mt19937_64 rng(1);
    Comparison cmp;
    constexpr int count = 150000;
    for (int i = 0; i < count; ++i) {
        cmp.against_reference(std::bit_cast<double>(rng()));
    }
    cmp.expect_clean(count);
}

TEST(NumberFormatRandom, EveryExponent) {
    std::mt19937_64 rng(2);
    Comparison cmp;
    const std::uint64_t all_ones = (std::uint64_t{1} << 52) - 1;
    for (std::uint64_t biased = 0; biased <= 2046; ++biased) {
        for (std::uint64_t sign : {0ULL, 1ULL}) {
            auto check = [&](std::uint64_t fraction) {
                cmp.against_reference(std::bit_cast<double>((sign << 63) | (biased << 52) | fraction));
            };
            check(0);
            check(1);
            check(all_ones);
            for (int i = 0; i < 10; ++i) {
                check(rng() & all_ones);
            }
        }
    }
    cmp.expect_clean(2047 * 2 * 13 - 1);
}

TEST(NumberFormatRandom, FloatsWidened) {
    std::mt19937_64 rng(3);
    Comparison cmp;
    constexpr int count = 600000;
    for (int i = 0; i < count; ++i) {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        cmp.against_reference(static_cast<double>(f));
    }
    cmp.expect_clean(count);
}

TEST(NumberFormatRandom, TypicalRanges) {
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> coordinate(-1e7, 1e7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> log_magnitude(-8.0, 16.0);
    Comparison cmp;
    constexpr int rounds = 150000;
    for (int i = 0; i < rounds; ++i) {
        cmp.against_reference(coordinate(rng));
        cmp.against_reference(static_cast<double>(static_cast<float>(coordinate(rng))));
        cmp.against_reference(static_cast<double>(static_cast<float>(unit(rng))));
        cmp.against_reference(unit(rng));
        const double m = std::pow(10.0, log_magnitude(rng));
        cmp.against_reference(i % 2 == 0 ? m : -m);
        // Colours from bytes, as 128 * (1/255) above: k / 255 in float and double.
        const int byte = static_cast<int>(rng() % 256);
        cmp.against_reference(byte * 0.00392156862745098);
        cmp.against_reference(static_cast<double>(static_cast<float>(byte) / 255.0f));
    }
    cmp.expect_clean(7 * rounds);
}

// Values just around each place where the rounded result gains a digit.
TEST(NumberFormatRandom, AroundDigitBoundaries) {
    Comparison cmp;
    for (int k = -7; k <= 22; ++k) {
        const double boundary = std::pow(10.0, k);
        for (double base : {boundary, boundary - 5e-7, boundary - 4.9e-7, boundary + 5e-7}) {
            double v = base;
            for (int step = 0; step < 40; ++step) {
                v = std::nextafter(v, 0.0);
            }
            for (int step = 0; step < 80; ++step) {
                cmp.against_reference(v);
                cmp.against_reference(-v);
                v = std::nextafter(v, inf);
            }
        }
    }
    cmp.expect_clean(30 * 4 * 80 * 2);
}

// --- Agreement with the C library's "%f" wherever the rules coincide. ---

TEST(NumberFormatPrintf, AgreesOutsideTiesAndZeros) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> coordinate(-1e7, 1e7);
    Comparison cmp;
    std::size_t skipped = 0;
    auto check = [&](double v) {
        if (v == 0 || is_tie(v)) {
            ++skipped;
            return;
        }
        cmp.against_printf(v);
    };
    constexpr int rounds = 150000;
    for (int i = 0; i < rounds; ++i) {
        check(std::bit_cast<double>(rng()));
        check(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(rng()))));
        check(coordinate(rng));
    }
    cmp.expect_clean(3 * rounds - skipped);
    EXPECT_LT(skipped, 1000u);
}

// --- The output buffer. ---

TEST(NumberFormatBuffer, WritesOnlyTheReturnedLength) {
    constexpr char sentinel = '\x7f';
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> values = {0.0,
                                        -0.0,
                                        1.0,
                                        -1.5,
                                        0.0078125,
                                        -1e-9,
                                        1e15,
                                        std::ldexp(1.0, 64),
                                        DBL_MAX,
                                        -DBL_MAX,
                                        DBL_MIN,
                                        -std::numeric_limits<double>::denorm_min(),
                                        inf,
                                        -inf,
                                        std::copysign(nan, 1.0),
                                        std::copysign(nan, -1.0)};
    std::vector<double> all = values;
    for (int k = 0; k <= 20; ++k) {
        // Every count of whole digits, with and without a fraction.
        const double p = std::pow(10.0, k);
        all.insert(all.end(), {p, -p, p - 0.25, -(p - 0.25), p + 0.5});
    }
    for (double v : all) {
        char buf[number_text_max + 16];
        std::memset(buf, sentinel, sizeof buf);
        const std::size_t n = format_number(v, buf);
        ASSERT_LE(n, number_text_max) << describe(v);
        EXPECT_EQ(std::string(buf, n), reference(v)) << describe(v);
        for (std::size_t i = n; i < sizeof buf; ++i) {
            ASSERT_EQ(buf[i], sentinel) << describe(v) << " wrote past its length at " << i;
        }
    }
}

}  // namespace
}  // namespace tessvert

namespace tessvert {
namespace {

// What a reader gets back is the number of the text, and a number reads as
// zero exactly when its text is zero: around half a millionth, where the
// rounding decides, and at the ties of the format.
TEST(NumberFormatReadBack, ZeroExactlyWhenTheTextIsZero) {
    std::vector<double> values = {0.0, -0.0, 1e-300, 4e-7, 1e-6, -1e-6, 0.0078125, 123.4567895, inf, -inf};
    double v = 5e-7, down = 5e-7;
    for (int k = 0; k < 64; ++k) {
        values.push_back(v);
        values.push_back(-down);
        v = std::nextafter(v, 1.0);
        down = std::nextafter(down, 0.0);
    }
    for (const double v : values) {
        SCOPED_TRACE(format(v));
        const std::string text = format(v);
        EXPECT_EQ(written_as_zero(v), text == "0.000000" || text == "-0.000000");
        if (std::isfinite(v)) {
            EXPECT_EQ(as_read_back(v), std::strtod(text.c_str(), nullptr));
        }
    }
    EXPECT_FALSE(written_as_zero(std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace
}  // namespace tessvert
