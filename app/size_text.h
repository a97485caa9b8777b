// The sizes, rates, durations and counts the wizard pages show, in words the translation tables
// can turn, and the disk-space panel of Check Disk Space.
#pragma once
#include <cstdint>
#include <string>

// Float to int truncated toward zero: NaN gives 0, values beyond the int range its nearest end.
int float_to_int(float x);

// Sizes are kilobytes; the unit words stay English.
std::string format_bytes(float kb);
std::string format_int(int n);
std::string format_rate(float kb_per_second);
std::string format_duration(float seconds);
std::string format_float_pair(const char* format, float a, float b);
float round_half_away(float x);
unsigned int power_of_ten(int n);
void format_digits(int value, std::string& out, int digits, unsigned char mode, int minus);
// The disk-space panel's text for the disk's byte counts and the kilobytes needed; true when the
// free kilobytes are strictly above the need.
bool disk_space_text(uint64_t total_bytes, uint64_t free_bytes, float needed_kb, const std::string& enough_text,
                     const std::string& short_text, std::string& out);
// Draws the disk's size, free space and what the update needs; true when the space suffices.
bool draw_disk_space(const std::string& enough_text, const std::string& short_text);
