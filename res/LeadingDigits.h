// Reading a number the way atoi does: an optional sign, then the decimal digits that follow.
// Shared by the settings file and the dialogs' number fields; each keeps its own rule for
// blanks, trailing text and range.
#ifndef KOVRA_RES_LEADINGDIGITS_H
#define KOVRA_RES_LEADINGDIGITS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

struct LeadingDigits {
    bool negative = false;
    std::int64_t magnitude = 0;  // saturated at the cap asked for
    std::size_t digits = 0;      // how many digits were read
    std::size_t end = 0;         // the position after the last of them
};

// From text[pos] on: a sign, then digits. The magnitude stops growing at cap, so no run of
// digits can overflow. Char is char or char16_t.
template <typename Char>
LeadingDigits ReadLeadingDigits(const Char* text, std::size_t size, std::size_t pos,
                                std::int64_t cap)
{
    LeadingDigits read;
    if (pos < size && (text[pos] == Char('+') || text[pos] == Char('-'))) {
        read.negative = text[pos] == Char('-');
        ++pos;
    }
    const std::size_t first = pos;
    for (; pos < size && text[pos] >= Char('0') && text[pos] <= Char('9'); ++pos) {
        read.magnitude = std::min<std::int64_t>(read.magnitude * 10 + (text[pos] - Char('0')), cap);
    }
    read.digits = pos - first;
    read.end = pos;
    return read;
}

#endif  // KOVRA_RES_LEADINGDIGITS_H
