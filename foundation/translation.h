// Translation of UI texts: the language table, the start-up language, the translation tables
// carried as resources, the lookup with its plural rules and the filling of numbered parameters
// ("%1:seconds%"). Main thread only.
#pragma once
#include <string>
#include <vector>

// How a language picks between singular and plural texts by count.
enum LANG_plural_rule {
    plural_below_two = 0,  // singular for counts below 2 (French)
    plural_exactly_one = 1, // singular for exactly 1 (English, German, Italian, Spanish)
    plural_slavic = 2       // singular for 1, genitive plural for 2-4 outside 12-14, else plural (Russian)
};

// The two tables of a translation: STRING rows and the GENITIVE plural rows.
const int LANG_STRING = 0;
const int LANG_GENITIVE = 1;

struct LANG_info {
    const char* label;         // UTF-8, begins with '|' (a widget label with the text on the right)
    const char* folder;        // the language's folder name
    const char* resource_path; // the translation table, "" for English
    const char* file_path;     // the same table as a file; not read by this program
    const char* code;          // ISO 639-1
    int win_id;                // primary language id of the original platform
    int plural_rule;           // a LANG_plural_rule
};

const int LANG_COUNT = 6;
// Indexed by the language index used everywhere (gLanguage): English, French, German, Russian,
// Italian, Spanish.
extern const LANG_info LANG_table[LANG_COUNT];

// English: empties the tables, turns translation and the missing-text log off, plural rule 1.
void LANG_clear();
// Loads the table of language 1 to 5 and makes it current; logs what is wrong with it. A missing
// or unreadable table leaves English (with that language's plural rule). Other indices clear.
void LANG_set_language(int index);
// What LANG_set_language does after its first log line, for a table at any path (a "RESOURCE:"
// path or a file): clears, sets the plural rule, loads and checks. 1 when translation is on.
int LANG_load_table(const std::string& path, int plural_rule);

// The language to start with: "--lang" by exact ISO code, else the user's language from the
// environment, else -1.
int LANG_choose_language();
// The selectable language indices in order.
void LANG_get_languages(std::vector<int>& out);
// The row's folder and label; empty for an index outside the table.
std::string LANG_get_folder(int index);
std::string LANG_get_label(int index);

// The translation of an English text from the STRING (0) or GENITIVE (1) table, or the English
// text itself when translation is off or the table has no row for it.
std::string LANG_translate(const std::string& english, int table = LANG_STRING);
// The singular or plural text translated, as the current plural rule chooses for the count.
std::string LANG_translate_plural(int count, const std::string& singular, const std::string& plural);

// Replace each "%k:name%" with 1 <= k <= n by args[k - 1]; nothing is translated and an
// inserted argument is never scanned again.
std::string LANG_substitute(const std::string& text, int n, const std::string* args);
std::string LANG_substitute_1(const std::string& text, const std::string& a1);
std::string LANG_substitute_2(const std::string& text, const std::string& a1, const std::string& a2);
std::string LANG_substitute_3(const std::string& text, const std::string& a1, const std::string& a2,
                              const std::string& a3);
std::string LANG_substitute_4(const std::string& text, const std::string& a1, const std::string& a2,
                              const std::string& a3, const std::string& a4);

// The parameter numbers of a text in the order met (unsorted).
std::vector<int> LANG_get_params(const std::string& text);
// True when both lists, each already sorted, are equal element by element.
bool LANG_same_params(const std::vector<int>& a, const std::vector<int>& b);
// Replaces every occurrence of from (not empty) by to, going on after each inserted text.
void LANG_replace_all(std::string& text, const std::string& from, const std::string& to);
// Blanks (character 32 only) at the start or the end of a text.
int LANG_count_leading_blanks(const std::string& text);
int LANG_count_trailing_blanks(const std::string& text);
