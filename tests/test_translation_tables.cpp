// Keeps the French, German and Russian tables whole: every text literal that the program's source
// passes to LANG_translate or LANG_translate_plural must have a row in each table (a Russian
// GENITIVE row too for a plural text), with the same parameters, numbers and names alike; and
// every text of the dialogs fits where it is drawn in each language.
#include "app/prefs_window.h"
#include "app/wizard.h"
#include "engine/modal_frame.h"
#include "engine/utils.h"
#include "foundation/resources.h"
#include "foundation/translation.h"
#include "frame/alert.h"
#include "frame/butn.h"
#include "frame/hl_popup.h"
#include "graphics/OGL_font.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace {

// ---- Finding the translated literals in C++ source ----

struct Token {
    enum Kind { ident, text, punct, other } kind;
    std::string value; // identifier, decoded string literal, or the punctuation character
    int line;
};

// Decodes the body of an ordinary string literal (between the quotes).
std::string decode_escapes(const std::string& body)
{
    std::string out;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 >= body.size()) {
            out += body[i];
            continue;
        }
        const char c = body[++i];
        switch (c) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            int v = 0, n = 0;
            while (i + 1 < body.size() && n < 2 && isxdigit((unsigned char)body[i + 1])) {
                const char h = body[++i];
                v = v * 16 + (isdigit((unsigned char)h) ? h - '0' : (tolower(h) - 'a' + 10));
                ++n;
            }
            out += (char)v;
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0', n = 1;
                while (i + 1 < body.size() && n < 3 && body[i + 1] >= '0' && body[i + 1] <= '7') {
                    v = v * 8 + (body[++i] - '0');
                    ++n;
                }
                out += (char)v;
            } else {
                out += c; // \\, \", \', \?
            }
        }
    }
    return out;
}

// A small C++ tokeniser: comments dropped, string literals (raw ones too) decoded, character
// literals and numbers passed over, so that nothing inside them is taken for code.
std::vector<Token> tokenize(const std::string& src)
{
    std::vector<Token> toks;
    int line = 1;
    const size_t n = src.size();
    size_t i = 0;
    auto count_lines = [&](size_t from, size_t to) { line += (int)std::count(src.begin() + from, src.begin() + to, '\n'); };
    while (i < n) {
        const char c = src[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (isspace((unsigned char)c)) {
            ++i;
        } else if (src.compare(i, 2, "//") == 0) {
            while (i < n && src[i] != '\n') ++i;
        } else if (src.compare(i, 2, "/*") == 0) {
            size_t e = src.find("*/", i + 2);
            e = e == std::string::npos ? n : e + 2;
            count_lines(i, e);
            i = e;
        } else if (isalpha((unsigned char)c) || c == '_') {
            size_t e = i;
            while (e < n && (isalnum((unsigned char)src[e]) || src[e] == '_')) ++e;
            const std::string word = src.substr(i, e - i);
            const bool prefix = word == "u8" || word == "u" || word == "U" || word == "L";
            const bool raw = word == "R" || word == "u8R" || word == "uR" || word == "UR" || word == "LR";
            if (e < n && src[e] == '"' && raw) {
                const size_t open = src.find('(', e);
                const std::string delim = ")" + src.substr(e + 1, open - e - 1) + "\"";
                size_t close = src.find(delim, open);
                if (close == std::string::npos) close = n;
                toks.push_back({Token::text, src.substr(open + 1, close - open - 1), line});
                const size_t end = std::min(n, close + delim.size());
                count_lines(i, end);
                i = end;
            } else if (e < n && (src[e] == '"' || src[e] == '\'') && prefix) {
                i = e; // the literal follows
            } else {
                toks.push_back({Token::ident, word, line});
                i = e;
            }
        } else if (c == '"' || c == '\'') {
            size_t e = i + 1;
            while (e < n && src[e] != c && src[e] != '\n') e += src[e] == '\\' ? 2 : 1;
            if (c == '"') toks.push_back({Token::text, decode_escapes(src.substr(i + 1, e - i - 1)), line});
            i = std::min(n, e + 1);
        } else if (isdigit((unsigned char)c)) {
            while (i < n && (isalnum((unsigned char)src[i]) || src[i] == '.' || src[i] == '\'' || src[i] == '_')) ++i;
            toks.push_back({Token::other, "0", line});
        } else {
            toks.push_back({Token::punct, std::string(1, c), line});
            ++i;
        }
    }
    return toks;
}

// One literal that the source hands to a translation call.
struct Use {
    std::string text;
    std::string where;   // file:line
    bool plural = false; // the plural text of LANG_translate_plural (needs a Russian GENITIVE row)
};

// Finds the translated literals of one source file. Literals written next to each other are one
// text; a literal joined to other text with '+' cannot be looked up and is a problem of its own.
void find_translated_texts(const std::string& src, const std::string& file, std::vector<Use>& uses,
                           std::vector<std::string>& problems)
{
    const std::vector<Token> t = tokenize(src);
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (t[i].kind != Token::ident || t[i + 1].value != "(") continue;
        const bool plural = t[i].value == "LANG_translate_plural";
        if (!plural && t[i].value != "LANG_translate") continue;
        // The call's arguments at its own bracket depth.
        std::vector<std::vector<size_t>> args(1);
        int depth = 0;
        size_t j = i + 1;
        for (; j < t.size(); ++j) {
            const std::string& v = t[j].value;
            if (t[j].kind == Token::punct && (v == "(" || v == "[" || v == "{")) {
                if (depth++ == 0) continue;
            } else if (t[j].kind == Token::punct && (v == ")" || v == "]" || v == "}")) {
                if (--depth == 0) break;
            } else if (t[j].kind == Token::punct && v == "," && depth == 1) {
                args.emplace_back();
                continue;
            }
            args.back().push_back(j);
        }
        // LANG_translate(english, table); LANG_translate_plural(count, singular, plural).
        const size_t first = plural ? 1 : 0, last = plural ? 2 : 0;
        for (size_t a = first; a <= last && a < args.size(); ++a) {
            const std::vector<size_t>& arg = args[a];
            for (size_t k = 0; k < arg.size(); ++k) {
                if (t[arg[k]].kind != Token::text) continue;
                Use u{"", file + ":" + std::to_string(t[arg[k]].line), plural && a == 2};
                const size_t run_start = arg[k];
                while (k < arg.size() && t[arg[k]].kind == Token::text) u.text += t[arg[k++]].value;
                const size_t run_end = arg[k - 1];
                auto plus = [&](size_t x) { return t[x].kind == Token::punct && t[x].value == "+"; };
                const bool joined = (run_start > 0 && plus(run_start - 1)) || (run_end + 1 < t.size() && plus(run_end + 1));
                if (joined)
                    problems.push_back(u.where + ": the text \"" + u.text +
                                       "\" is joined to other text inside a translation call; translate whole "
                                       "texts and fill parameters afterwards");
                else
                    uses.push_back(u);
            }
        }
        i = j;
    }
}

// ---- Reading a translation table (the format, read independently of the loader) ----

struct Table {
    std::string name;
    std::map<std::string, std::string> rows[2]; // STRING, GENITIVE
    std::vector<std::string> problems;
};

std::string unescape(std::string s)
{
    LANG_replace_all(s, "\\r", "\r");
    LANG_replace_all(s, "\\n", "\n");
    return s;
}

Table read_table(const std::string& name, std::string bytes)
{
    Table t;
    t.name = name;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t e = bytes.find('\n', pos);
        if (e == std::string::npos) e = bytes.size();
        std::string l = bytes.substr(pos, e - pos);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
        pos = e + 1;
    }
    if (lines.size() < 3 || lines[0] != "A" || lines[1] != "900" || lines[2] != "TRANSLATION")
        t.problems.push_back(name + ": the table does not begin with the lines A, 900, TRANSLATION");
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        const size_t s = l.find_first_not_of(" \t");
        if (s == std::string::npos) continue;
        int table = -1;
        size_t text = 0;
        if (l.compare(s, 7, "STRING ") == 0 || l.compare(s, 7, "STRING\t") == 0) table = 0, text = s + 7;
        if (l.compare(s, 9, "GENITIVE ") == 0 || l.compare(s, 9, "GENITIVE\t") == 0) table = 1, text = s + 9;
        if (table < 0) continue;
        const std::string body = l.substr(text);
        const size_t split = body.find("====");
        if (split == std::string::npos || body.size() - split - 4 < 2) {
            t.problems.push_back(name + " line " + std::to_string(i + 1) + ": '" + body + "' has no translation");
            continue;
        }
        const std::string english = unescape(body.substr(0, split));
        if (!t.rows[table].emplace(english, unescape(body.substr(split + 4))).second)
            t.problems.push_back(name + " line " + std::to_string(i + 1) + ": a second row for \"" + english + "\"");
    }
    return t;
}

// The parameter markers of a text ("%1:seconds%": '%', digits, ':', a name without '%', '%'),
// number to name.
std::multimap<int, std::string> markers(const std::string& text)
{
    std::multimap<int, std::string> out;
    for (size_t i = 0; (i = text.find('%', i)) != std::string::npos;) {
        size_t d = i + 1;
        while (d < text.size() && isdigit((unsigned char)text[d])) ++d;
        const size_t close = d < text.size() && text[d] == ':' ? text.find('%', d + 1) : std::string::npos;
        if (d == i + 1 || d - i > 9 || close == std::string::npos) {
            ++i;
            continue;
        }
        out.emplace(std::stoi(text.substr(i + 1, d - i - 1)), text.substr(d + 1, close - d - 1));
        i = close + 1;
    }
    return out;
}

std::string marker_text(int k, const std::string& name)
{
    return "%" + std::to_string(k) + ":" + name + "%";
}

// What the translation does to the English text's parameters.
void compare_params(const std::string& row, const std::string& english, const std::string& translated,
                    std::vector<std::string>& problems)
{
    const auto e = markers(english), t = markers(translated);
    auto names = [](const std::multimap<int, std::string>& m, int k) {
        std::vector<std::string> v;
        for (auto r = m.equal_range(k); r.first != r.second; ++r.first) v.push_back(r.first->second);
        std::sort(v.begin(), v.end());
        return v;
    };
    for (auto m = e.begin(); m != e.end(); m = e.upper_bound(m->first)) {
        const int k = m->first;
        const std::vector<std::string> en = names(e, k), tn = names(t, k);
        if (tn.empty())
            problems.push_back(row + " drops parameter " + marker_text(k, en[0]));
        else if (en.size() != tn.size())
            problems.push_back(row + " uses parameter " + marker_text(k, en[0]) + " " + std::to_string(tn.size()) +
                               " times, the English " + std::to_string(en.size()));
        else
            for (size_t i = 0; i < en.size(); ++i)
                if (en[i] != tn[i]) {
                    problems.push_back(row + " renames " + marker_text(k, en[i]) + " to " + marker_text(k, tn[i]));
                    break;
                }
    }
    for (const auto& m : t)
        if (!e.count(m.first)) problems.push_back(row + " adds parameter " + marker_text(m.first, m.second));
}

std::string quoted(std::string s)
{
    LANG_replace_all(s, "\r", "\\r");
    LANG_replace_all(s, "\n", "\\n");
    return "\"" + s + "\"";
}

// Every use against every table; russian names the table that needs GENITIVE rows.
std::vector<std::string> check_tables(const std::vector<Use>& uses, const std::vector<Table>& tables,
                                      const std::string& russian)
{
    std::vector<std::string> problems;
    for (const Table& t : tables) {
        problems.insert(problems.end(), t.problems.begin(), t.problems.end());
        // Rows whatever uses them.
        for (int k = 0; k < 2; ++k)
            for (const auto& r : t.rows[k]) {
                std::vector<std::string> p;
                compare_params(t.name + ": the " + (k ? "GENITIVE" : "STRING") + " row for " + quoted(r.first),
                               r.first, r.second, p);
                problems.insert(problems.end(), p.begin(), p.end());
            }
        for (const Use& u : uses) {
            if (!t.rows[0].count(u.text))
                problems.push_back(t.name + " has no STRING row for " + quoted(u.text) + " (" + u.where + ")");
            if (u.plural && t.name == russian && !t.rows[1].count(u.text))
                problems.push_back(t.name + " has no GENITIVE row for the plural text " + quoted(u.text) + " (" +
                                   u.where + ")");
        }
    }
    std::sort(problems.begin(), problems.end());
    problems.erase(std::unique(problems.begin(), problems.end()), problems.end());
    return problems;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
}

} // namespace

TEST(TranslatedTexts, FoundInCalls)
{
    const std::string src = R"SRC(
// LANG_translate("in a comment") is no call
/* LANG_translate("nor this") */
std::string LANG_translate(const std::string& english, int table = 0);
void f(int n, bool b) {
    a = LANG_translate("Understood");
    b = LANG_translate(
            "Two lines "
            "joined\n", 0);
    c = LANG_translate_plural(n, "%1:n% file",
                              "%1:n% files");
    d = LANG_translate(b ? "Yes" : "No");
    e = LANG_translate(std::string("Wrapped"));
    g = LANG_substitute_1(LANG_translate("Tab\there \"q\" \x41\101"), format("%d", n));
    h = LANG_translate(title);
    i = LANG_translate("Half " + name);
    char q = '"'; j = LANG_translate("after a quote char");
    k = LANG_translate(R"(raw "text")");
    l = MY_LANG_translate("not ours");
}
)SRC";
    std::vector<Use> uses;
    std::vector<std::string> problems;
    find_translated_texts(src, "x.cpp", uses, problems);
    std::vector<std::string> found;
    for (const Use& u : uses) found.push_back(u.where + (u.plural ? " plural " : " ") + u.text);
    EXPECT_EQ(found, (std::vector<std::string>{"x.cpp:6 Understood", "x.cpp:8 Two lines joined\n",
                                                "x.cpp:10 %1:n% file", "x.cpp:11 plural %1:n% files",
                                                "x.cpp:12 Yes", "x.cpp:12 No", "x.cpp:13 Wrapped",
                                                "x.cpp:14 Tab\there \"q\" AA", "x.cpp:17 after a quote char",
                                                "x.cpp:18 raw \"text\""}));
    EXPECT_EQ(problems, (std::vector<std::string>{"x.cpp:16: the text \"Half \" is joined to other text inside a "
                                                  "translation call; translate whole texts and fill parameters "
                                                  "afterwards"}));
}

TEST(TranslatedTexts, ProblemsNameTheTextAndTheTable)
{
    const std::vector<Use> uses = {{"Understood", "frame/alert.cpp:12", false},
                                   {"%1:n% file", "app/main.cpp:3", false},
                                   {"%1:n% files", "app/main.cpp:4", true},
                                   {"Wait %1:s% s\nor %2:what%", "app/main.cpp:5", false}};
    const std::vector<Table> tables = {
        read_table("French.txt", "A\n900\nTRANSLATION\nSTRING Understood====Compris\n"
                                 "STRING %1:n% file====%1:n% fichier\nSTRING %1:n% files====%1:n% fichiers\n"
                                 "STRING Wait %1:s% s\\nor %2:what%====Attendez %1:secondes% s\\nou %2:what%\n"),
        read_table("Russian.txt", "\xEF\xBB\xBF"
                                  "A\n900\nTRANSLATION\nSTRING Understood====Понятно\n"
                                  "STRING %1:n% file====%1:n% файл\nSTRING %1:n% files====файлов\n"
                                  "STRING Wait %1:s% s\\nor %2:what%====%2:what% %1:s% %3:x%\n"
                                  "STRING Understood====Ясно\n")};
    EXPECT_EQ(joined(check_tables(uses, tables, "Russian.txt")),
              "French.txt: the STRING row for \"Wait %1:s% s\\nor %2:what%\" renames %1:s% to %1:secondes%\n"
              "Russian.txt has no GENITIVE row for the plural text \"%1:n% files\" (app/main.cpp:4)\n"
              "Russian.txt line 8: a second row for \"Understood\"\n"
              "Russian.txt: the STRING row for \"%1:n% files\" drops parameter %1:n%\n"
              "Russian.txt: the STRING row for \"Wait %1:s% s\\nor %2:what%\" adds parameter %3:x%\n");
    const std::vector<Table> german = {read_table("German.txt", "A\n900\nTRANSLATION\nSTRING Understood====OK\n")};
    EXPECT_EQ(joined(check_tables(uses, german, "Russian.txt")),
              "German.txt has no STRING row for \"%1:n% file\" (app/main.cpp:3)\n"
              "German.txt has no STRING row for \"%1:n% files\" (app/main.cpp:4)\n"
              "German.txt has no STRING row for \"Wait %1:s% s\\nor %2:what%\" (app/main.cpp:5)\n");
    const std::vector<Table> broken = {read_table("German.txt", "A\n900\nTRANSLATION\nSTRING Understood====O\n")};
    EXPECT_EQ(joined(check_tables({uses[0]}, broken, "Russian.txt")),
              "German.txt has no STRING row for \"Understood\" (frame/alert.cpp:12)\n"
              "German.txt line 4: 'Understood====O' has no translation\n");
}

// The program's own source against its own tables.
TEST(TranslatedTexts, EveryTextHasARowInEveryTable)
{
    namespace fs = std::filesystem;
    const fs::path root = fs::path(CORVANE_TEST_SOURCE_DIR).parent_path();
    std::vector<Use> uses;
    std::vector<std::string> problems;
    int files = 0;
    for (const char* folder : {"platform", "foundation", "engine", "graphics", "frame", "app"}) {
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& e : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            ++files;
            find_translated_texts(TS_read_file(e.path().string()), fs::relative(e.path(), root).string(), uses,
                                  problems);
        }
    }
    ASSERT_GT(files, 10) << "no source found below " << root;

    std::vector<Table> tables;
    for (const char* name : {"French.txt", "German.txt", "Russian.txt"}) {
        uint32_t size = 0;
        const unsigned char* bytes = RES_get_resource(name, size);
        ASSERT_TRUE(bytes) << name << " is not embedded";
        tables.push_back(read_table(name, std::string((const char*)bytes, size)));
    }
    const std::vector<std::string> table_problems = check_tables(uses, tables, "Russian.txt");
    problems.insert(problems.end(), table_problems.begin(), table_problems.end());
    EXPECT_TRUE(problems.empty()) << "The translation tables (resources/*.txt) need mending:\n" << joined(problems);
}

// Every text of the two questions, the alert, the language chooser and the preferences window in
// each language, measured as drawn, inside the room its place leaves it: its button or panel less
// four units a side, and four units short of the widgets beside it.
TEST(TranslatedTexts, EveryTextFitsWhereItIsDrawn)
{
    static std::vector<std::string> t; // what the last question or alert was given to draw
    const install_modal_hooks kept = gInstallModal;
    gInstallModal.modified_file_frame = [](const std::string& a, const std::string&, const std::string& c,
                                const std::vector<std::string>& d) { return t = {a, c}, t.insert(t.end(), d.begin(), d.end()), 2; };
    gInstallModal.two_choices_frame = [](const std::string& a, const std::string& b, const std::string& c, const std::string& d,
                              const std::string& e) { return t = {a, b, c, d, e}, 2; };
    ALERT_set_presenter([](int, const std::string (&l)[4], int, const std::string&) { t.assign(l, l + 4); });
    int language = 0;
    gFontFrameLink.language = &language;
    std::string problems;
    for (language = 0; language < 4; ++language) {
        language ? LANG_set_language(language) : LANG_clear();
        // A label's lines placed as BTN_draw_label places them: align 0 ends at x, 1 centres, 2 starts.
        auto fits = [&](const std::string& label, float x, int align, float x0, float x1) {
            std::string l[2];
            BTN_label_lines(label, align, l[0], l[1]);
            for (const std::string& s : l) {
                const float w = OGL_measure_string(s), left = x - (align == 0 ? w : align == 1 ? w / 2 : 0);
                if (!s.empty() && (left < x0 - 0.01f || left + w > x1 + 0.01f))
                    problems += LANG_get_label(language) + " \"" + s + "\" " + std::to_string(left) + " to " +
                                std::to_string(left + w) + ", room " + std::to_string(x0) + " to " + std::to_string(x1) + "\n";
            }
        };
        auto on = [&](const std::string& label, hl_button_place b) { fits(label, b.x, 1, b.x - b.w / 2 + 4, b.x + b.w / 2 - 4); };
        for (int id : {2, 994, 996, 997}) fits("-" + LANG_translate(hl_find_popup(id)->title), hl_find_popup(id)->w / 2, 1, 30, hl_find_popup(id)->w - 30);
        for (int form : {0, 1}) { // the changed-file question: its two lines one line each, its buttons
            install_ask_modified_file("/", form);
            for (int i = 0; i < 7; ++i) i < 2 ? fits("-" + t[i], 20, 2, 20, 730) : on(t[i], kModifiedFileButtons[i - 2]);
        }
        confirm_stop_update(); // the stop question: its buttons, the texts beside them, the top above them
        for (int i : {0, 1}) on(t[1 + 2 * i], kTwoChoicesButtons[i]), fits("-" + t[2 + 2 * i], 150, 2, 150, 640);
        if (OGL_count_lines(t[0], 660) > 8) problems += t[0] + " reaches the buttons\n";
        on(LANG_translate("Understood"), {210, 18, OGL_measure_string(LANG_translate("Understood")) + 21});
        for (int l = 0; l < LANG_COUNT; ++l) fits("-" + LANG_get_label(l).substr(1), 197, 2, 197, 406);
        // The alert whose first line wraps: each text below the one above, clear of the title band's
        // divider and above the panel's bottom.
        install_error_alert("/home/pilot/Corvane 10/Output/FMS plans/", 20);
        ALERT_place at[5];
        ALERT_line_places({t[0], t[1], t[2], t[3], ""}, 420, at);
        for (int i = 0; i < 4; ++i) {
            const float top = at[i].y + 10, bottom = at[i].y - 10 * (float)at[i].lines + 7;
            if ((top > ALERT_DIVIDER_Y && bottom < ALERT_DIVIDER_Y) || bottom < 38 || (i && top > at[i - 1].y - 10 * (float)at[i - 1].lines))
                problems += LANG_get_label(language) + " alert line " + std::to_string(i) + "\n";
        }
        // The preferences: the panels' titles, the list's items in its box (short of its arrow) and
        // its texts beside it, the check box's text, the proxy fields' names left of their frames.
        const prefs_places& pp = kPrefsPlaces;
        for (const char* title : {"Proxy (if you are behind a firewall with a Proxy)", "General Preferences"})
            fits("-" + LANG_translate(title), 350, 1, 14, 686);
        std::vector<std::string> items(1);
        for (char c : LANG_translate("Macintosh-Windows-Linux")) c == '-' ? items.emplace_back() : items.back() += c;
        float w = 20;
        for (const std::string& i : items) w = std::max(w, std::trunc(OGL_measure_string(i)));
        const BTN_list_edges e = BTN_text_list_edges(pp.list_x, BTN_text_list_width(w, language));
        for (const std::string& i : items) fits("-" + i, pp.list_x, 1, e.box_left + 2, e.box_right - 18);
        std::string os = LANG_translate("Operating System to download Corvane for:|(Install and copy the entire Corvane folder "
                                        "to another computer if you like)"), a, b, h;
        BTN_split_label(os, a, b, h);
        fits(a, e.left_end, 0, 14, e.box_left - 4), fits(b, e.right_start, 2, e.box_right + 4, 686);
        std::string log = LANG_translate("|Log installer actions. Turn this on to output the installer file downloads and "
                                         "stuff to the file log.txt.");
        BTN_split_label(log, a, b, h);
        fits(b, pp.check_x + 12, 2, pp.check_x + 12, 686);
        for (const char* name : {"-proxy host", "-proxy port"}) fits(LANG_translate(name), pp.field_x - 12, 0, 14, pp.field_x - 12);
    }
    gInstallModal = kept;
    ALERT_set_presenter(nullptr);
    LANG_clear();
    EXPECT_EQ(problems, "");
}
