// Command-line option store and its tokeniser (see options.h).
#include "foundation/options.h"

#include "frame/hl_init.h"

CMDLINE_options gOptions;

static bool is_white(char c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

void CMDLINE_parse(const char* text)
{
    const char* p = text ? text : "";
    while (true) {
        while (is_white(*p)) ++p;
        if (!*p) break;
        const char* name_begin = p;
        while (*p && !is_white(*p) && *p != '=') ++p;
        std::string name(name_begin, (size_t)(p - name_begin));
        std::string value;
        if (*p == '=') {
            ++p;
            if (*p == '"') {
                ++p;
                const char* v = p;
                while (*p && *p != '"') ++p;
                value.assign(v, (size_t)(p - v));
                if (*p == '"') ++p;
            } else {
                const char* v = p;
                while (*p && !is_white(*p)) ++p;
                value.assign(v, (size_t)(p - v));
            }
        }
        if (name.empty()) continue;
        if (gOptions.opts.count(name)) gLog << "WARNING: command line option " << name << "=" << value << "used twice.\n";
        gOptions.opts[name] = value;
        gLog << "     '" << name;
        if (!value.empty()) gLog << "'='" << value;
        gLog << "'\n";
    }
}

bool CMDLINE_has_option(const char* name)
{
    return gOptions.opts.count(name) != 0;
}

std::string CMDLINE_get_option(const char* name)
{
    auto it = gOptions.opts.find(name);
    return it == gOptions.opts.end() ? std::string() : it->second;
}

static bool has_white(const std::string& s)
{
    for (char c : s)
        if (is_white(c)) return true;
    return false;
}

// The system hands us argv, not one text: the elements are joined by single blanks.
// An element "-name=value" whose value holds white space gets its value quoted so the
// tokeniser keeps it whole; every other element is copied unchanged, so a folder given
// with blanks stays one text for the folder-to-update reading.
std::string CMDLINE_text_from_argv(int argc, const char* const* argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i] ? argv[i] : "";
        if (i > 1) text += ' ';
        size_t eq = a.find('=');
        if (!a.empty() && a[0] == '-' && eq != std::string::npos && has_white(a.substr(eq + 1)) &&
            a.find('"', eq + 1) == std::string::npos)
            text += a.substr(0, eq + 1) + "\"" + a.substr(eq + 1) + "\"";
        else
            text += a;
    }
    return text;
}
