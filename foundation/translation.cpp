// Translation of UI texts (see translation.h).
#include "foundation/translation.h"

#include "foundation/label_split.h"
#include "foundation/log.h"
#include "foundation/options.h"
#include "foundation/paths.h"
#include "foundation/text_reader.h"
#include "foundation/xmap.h"
#include "platform/plat_system.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

const LANG_info LANG_table[LANG_COUNT] = {
    {"|English", "English/", "", "", "en", 0x09, plural_exactly_one},
    {"|Français", "French/", "RESOURCE:French.txt", "Resources/text/French.txt", "fr", 0x0C, plural_below_two},
    {"|Deutsch", "German/", "RESOURCE:German.txt", "Resources/text/German.txt", "de", 0x07, plural_exactly_one},
    {"|Русский", "Russian/", "RESOURCE:Russian.txt", "Resources/text/Russian.txt", "ru", 0x19, plural_slavic},
    {"|Italiano", "Italian/", "RESOURCE:Italian.txt", "Resources/text/Italian.txt", "it", 0x10, plural_exactly_one},
    {"|Español", "Spanish/", "RESOURCE:Spanish.txt", "Resources/text/Spanish.txt", "es", 0x0A, plural_exactly_one},
};

// The one translation state; texts are translated on the main thread only.
static int gTranslationOn = 0;
static int gLogMissing = 0;
static uint8_t gPluralRule = plural_exactly_one;
static std::unordered_map<std::string, std::string> gTables[2]; // LANG_STRING, LANG_GENITIVE
static std::unordered_set<std::string> gLoggedMissing;

void LANG_clear()
{
    gTables[LANG_STRING].clear();
    gTables[LANG_GENITIVE].clear();
    gLoggedMissing.clear();
    gTranslationOn = 0;
    gLogMissing = 0;
    gPluralRule = plural_exactly_one;
}

void LANG_get_languages(std::vector<int>& out)
{
    static const std::vector<int> languages = [] {
        std::vector<int> v;
        for (int i = 0; i < LANG_COUNT; ++i) v.push_back(i);
        return v;
    }();
    out = languages;
}

std::string LANG_get_folder(int index)
{
    return index >= 0 && index < LANG_COUNT ? LANG_table[index].folder : "";
}

std::string LANG_get_label(int index)
{
    return index >= 0 && index < LANG_COUNT ? LANG_table[index].label : "";
}

int LANG_choose_language()
{
    std::vector<int> languages;
    LANG_get_languages(languages);
    if (languages.empty()) return -1;
    if (languages.size() == 1) return languages[0];

    if (CMDLINE_has_option("--lang")) {
        const std::string code = CMDLINE_get_option("--lang");
        for (int i : languages)
            if (code == LANG_table[i].code) return i;
    }
    // A "--lang" that names no language falls through to the user's own language.
    const std::string user = PLAT_ui_language_code();
    if (!user.empty())
        for (int i : languages)
            if (user == LANG_table[i].code) return i;
    return -1;
}

// Reads the decimal integer after a '%' as atoi would: leading white space and one sign, then
// digits up to the first other character; kept within int range.
static int read_param_number(const std::string& text, size_t pos)
{
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        if (value <= INT_MAX) value = value * 10 + (text[pos] - '0');
    if (value > INT_MAX) value = INT_MAX;
    return negative ? -(int)value : (int)value;
}

// Finds the parameter marker that may begin at the '%' at pos: its number and the index of its
// closing '%'. False when no ':' and '%' follow.
static bool find_marker(const std::string& text, size_t pos, int& k, size_t& close)
{
    const size_t colon = text.find(':', pos + 1);
    if (colon == std::string::npos) return false;
    close = text.find('%', colon + 1);
    if (close == std::string::npos) return false;
    k = read_param_number(text, pos + 1);
    return true;
}

std::string LANG_substitute(const std::string& text, int n, const std::string* args)
{
    std::string out = text;
    size_t pos = 0;
    for (;;) {
        const size_t pct = out.find('%', pos);
        if (pct == std::string::npos) break;
        int k = 0;
        size_t close = 0;
        if (find_marker(out, pct, k, close) && k >= 1 && k <= n) {
            const std::string& arg = args[k - 1];
            out.replace(pct, close - pct + 1, arg);
            pos = pct + arg.size();
        } else {
            pos = pct + 1;
        }
    }
    return out;
}

std::string LANG_substitute_1(const std::string& text, const std::string& a1)
{
    return LANG_substitute(text, 1, &a1);
}

std::string LANG_substitute_2(const std::string& text, const std::string& a1, const std::string& a2)
{
    const std::string args[] = {a1, a2};
    return LANG_substitute(text, 2, args);
}

std::string LANG_substitute_3(const std::string& text, const std::string& a1, const std::string& a2,
                              const std::string& a3)
{
    const std::string args[] = {a1, a2, a3};
    return LANG_substitute(text, 3, args);
}

std::string LANG_substitute_4(const std::string& text, const std::string& a1, const std::string& a2,
                              const std::string& a3, const std::string& a4)
{
    const std::string args[] = {a1, a2, a3, a4};
    return LANG_substitute(text, 4, args);
}

std::vector<int> LANG_get_params(const std::string& text)
{
    std::vector<int> params;
    size_t pos = 0;
    for (;;) {
        const size_t pct = text.find('%', pos);
        if (pct == std::string::npos) break;
        int k = 0;
        size_t close = 0;
        if (find_marker(text, pct, k, close) && k > 0) {
            params.push_back(k);
            pos = close + 1;
        } else {
            pos = pct + 1;
        }
    }
    return params;
}

bool LANG_same_params(const std::vector<int>& a, const std::vector<int>& b)
{
    return a == b;
}

void LANG_replace_all(std::string& text, const std::string& from, const std::string& to)
{
    if (from.empty()) return;
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

int LANG_count_leading_blanks(const std::string& text)
{
    const size_t n = text.find_first_not_of(' ');
    return (int)(n == std::string::npos ? text.size() : n);
}

int LANG_count_trailing_blanks(const std::string& text)
{
    const size_t n = text.find_last_not_of(' ');
    return (int)(n == std::string::npos ? text.size() : text.size() - 1 - n);
}

static void unescape(std::string& text)
{
    LANG_replace_all(text, "\\r", "\r");
    LANG_replace_all(text, "\\n", "\n");
}

static std::vector<int> sorted_params(const std::string& text)
{
    std::vector<int> p = LANG_get_params(text);
    std::sort(p.begin(), p.end());
    return p;
}

// True when the translation lost a label part (left text, right text, help) the English has.
static bool label_parts_lost(std::string english, std::string translated)
{
    std::string e[3], t[3];
    BTN_split_label(english, e[0], e[1], e[2]);
    BTN_split_label(translated, t[0], t[1], t[2]);
    for (int i = 0; i < 3; ++i)
        if (!e[i].empty() && t[i].empty()) return true;
    return false;
}

// One line of the table after its keyword; text is what follows the keyword's separator.
static void load_line(int table, const std::string& text)
{
    const size_t split = text.find("====");
    if (split == std::string::npos) {
        gLog << "ERROR: language file line '" << text << "' missing ==== splitter.\n";
        return;
    }
    // One character is no translation: such a line is a typing slip, not a text.
    if (text.size() - (split + 4) < 2) {
        gLog << "ERROR: language file line '" << text << "' missing right side translation.\n";
        return;
    }
    std::string english = text.substr(0, split);
    std::string translated = text.substr(split + 4);
    unescape(english);
    unescape(translated);

    if (!LANG_same_params(sorted_params(english), sorted_params(translated)))
        gLog << "ERROR: language file line '" << text << "' has incorrect translated parameters.\n";
    if (!FILE_is_valid_utf8(text)) gLog << "ERROR: language file line '" << text << "' contains invalid UTF8 characters.\n";
    if (label_parts_lost(english, translated))
        gLog << "ERROR: language file line '" << text << "' does not have its help tips correctly formatted.\n";
    if (LANG_count_leading_blanks(english) != LANG_count_leading_blanks(translated))
        gLog << "ERROR: language file line '" << text << "' does not have the same leading spaces.\n";
    if (LANG_count_trailing_blanks(english) != LANG_count_trailing_blanks(translated))
        gLog << "ERROR: language file line '" << text << "' does not have the same trailing spaces.\n";

    auto stored = gTables[table].find(english);
    if (stored != gTables[table].end()) {
        gLog << "ERROR: language file line '" << text << "' is a second translation of " << stored->first
             << "====" << stored->second << "\n";
        return;
    }
    gTables[table].emplace(std::move(english), std::move(translated));
}

// Recognises "STRING" or "GENITIVE" and the one blank or tab after it; -1 for any other line.
static int line_keyword(const std::string& line, size_t& text_start)
{
    static const struct {
        const char* word;
        int table;
    } keywords[] = {{"STRING", LANG_STRING}, {"GENITIVE", LANG_GENITIVE}};
    for (const auto& k : keywords) {
        const size_t len = std::char_traits<char>::length(k.word);
        if (line.size() > len && line.compare(0, len, k.word) == 0 && (line[len] == ' ' || line[len] == '\t')) {
            text_start = len + 1;
            return k.table;
        }
    }
    return -1;
}

int LANG_load_table(const std::string& path, int plural_rule)
{
    LANG_clear();
    gPluralRule = (uint8_t)plural_rule;

    xmap_file f(path);
    if (!f.begin) {
        gLog << "Could not find translation file: " << path << "; using English.\n";
        return 0;
    }
    static const int versions[] = {900, 0};
    if (check_file(f, FILE_KIND_TEXT, versions, "TRANSLATION", nullptr) != 900) {
        gLog << "Translation file " << path << " is not version 900 or has a bad header.\n";
        return 0;
    }

    for (;;) {
        // Line ends, empty lines and the blanks that begin a line.
        TXT_skip_line_ends(f);
        if (f.cursor >= f.end) break;
        const char* start = f.cursor;
        TXT_skip_to_eol(f);
        const std::string line(start, f.cursor);
        size_t text_start = 0;
        const int table = line_keyword(line, text_start);
        if (table >= 0) load_line(table, line.substr(text_start));
    }

    if (plural_rule == plural_slavic)
        for (const auto& g : gTables[LANG_GENITIVE])
            if (!gTables[LANG_STRING].count(g.first))
                gLog << "WARNING: language file line " << g.first << "====" << g.second
                     << " is provided in genitive but not plural case.\n";

    gTranslationOn = 1;
    gLogMissing = CMDLINE_has_option("--missing_strings") ? 1 : 0;
    f.close();
    return 1;
}

void LANG_set_language(int index)
{
    if (index < 1 || index >= LANG_COUNT) {
        LANG_clear();
        return;
    }
    const LANG_info& row = LANG_table[index];
    gLog << " ==== CHANGING LANGUAGE TO: " << (row.label + 1) << ". ====\n";
    LANG_load_table(row.resource_path, row.plural_rule);
}

std::string LANG_translate(const std::string& english, int table)
{
    if (!gTranslationOn) return english;
    if (table != LANG_STRING && table != LANG_GENITIVE) table = LANG_STRING;
    auto it = gTables[table].find(english);
    if (it != gTables[table].end()) return it->second;
    if (gLogMissing && gLoggedMissing.insert(english).second) {
        // Written as a ready STRING line, whatever table was asked.
        std::string copy = english;
        LANG_replace_all(copy, "\r", "\\r");
        LANG_replace_all(copy, "\n", "\\n");
        gLog << "STRING " << copy << "====" << copy << "\n";
    }
    return english;
}

std::string LANG_translate_plural(int count, const std::string& singular, const std::string& plural)
{
    switch (gPluralRule) {
    case plural_below_two:
        return LANG_translate(count < 2 ? singular : plural, LANG_STRING);
    case plural_slavic: {
        // Signed remainders: negative counts never take the singular or the genitive. Every count
        // ending in 1 but not in 11 is singular: 21 секунда, 101 файл.
        const int last = count % 10, last_two = count % 100;
        if (last == 1 && last_two != 11) return LANG_translate(singular, LANG_STRING);
        if (last >= 2 && last <= 4 && !(last_two >= 10 && last_two <= 20) && gTables[LANG_GENITIVE].count(plural))
            return LANG_translate(plural, LANG_GENITIVE);
        return LANG_translate(plural, LANG_STRING);
    }
    default:
        return LANG_translate(count == 1 ? singular : plural, LANG_STRING);
    }
}
