// Small text operations that build a string character by character.
#pragma once
#include <string>

// '0' + d for 0 to 9, '0' for any other value.
inline char hl_digit_char(int d)
{
    return d >= 0 && d <= 9 ? (char)('0' + d) : '0';
}

inline void hl_append_char(std::string& s, char c)
{
    s += c;
}

inline void hl_append_text(std::string& s, const char* text)
{
    s += text;
}

// Decimal text of a number with at most its last eight digits: 123456789 gives "23456789",
// -5 gives "-5". The magnitude is taken in 64 bits, so the most negative int keeps its digits.
inline std::string hl_number_text(int number)
{
    std::string s;
    long long v = number;
    if (v < 0) {
        hl_append_char(s, '-');
        v = -v;
    }
    for (long long power = 10000000; power >= 10; power /= 10)
        if (v >= power) hl_append_char(s, hl_digit_char((int)(v / power % 10)));
    hl_append_char(s, hl_digit_char((int)(v % 10)));
    return s;
}
