// Size, rate and duration texts (see size_text.h).
#include "app/size_text.h"

std::string format_bytes(float)
{
    return {};
}
std::string format_int(int)
{
    return {};
}
std::string format_rate(float)
{
    return {};
}
std::string format_duration(float)
{
    return {};
}
std::string format_float_pair(const char*, float, float)
{
    return {};
}
float round_half_away(float x)
{
    return x;
}
unsigned int power_of_ten(int)
{
    return 1;
}
void format_digits(int, std::string& out, int, unsigned char, int)
{
    out.clear();
}
bool draw_disk_space(const std::string&, const std::string&)
{
    return true;
}
