// Translation of UI texts: the table loader and its checks, lookups, plural rules, parameters,
// the start-up language from "--lang" and the environment, and the label split of the widgets.
#include "foundation/options.h"
#include "foundation/translation.h"
#include "frame/butn.h"
#include "frame/hl_init.h"
#include "platform/plat_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

static const char* const kHeader = "A\n900\nTRANSLATION\n";

static std::string gLogPath;   // where the current test's log goes
static std::string gTablePath; // the table last written by load_table

// The log written so far.
static std::string log_text() { return TS_read_log(gLogPath); }

// Writes a table, loads it with the log going to a file of its own, and returns that log.
static std::string load_table(const std::string& body, int rule = plural_exactly_one,
                              const std::string& header = kHeader)
{
    const std::string dir = TS_new_dir("table");
    gTablePath = dir + "table.txt";
    gLogPath = dir + "log.txt";
    TS_write_file(gTablePath, header + body);
    hl_open_log(gLogPath);
    LANG_load_table(gTablePath, rule);
    return log_text();
}

class Translation : public testing::Test {
protected:
    void SetUp() override
    {
        gOptions.opts.clear();
        LANG_clear();
    }
    void TearDown() override
    {
        LANG_clear();
        hl_close_log();
    }
};

TEST_F(Translation, KeywordsSeparatorAndSkippedLines)
{
    const std::string log = load_table("STRING Find It====La trouver\n"
                                       "STRINGFind Me====x1\n"
                                       "string Find You====x2\n"
                                       "# STRING Commented====x3\n"
                                       "\n"
                                       "   \t STRING\tTabbed====Tabulé\r\n"
                                       "STRING Yes====Oui\r\n"
                                       "GENITIVE Alone====Seul\n"
                                       "STRINGS Plural====x4\n");
    EXPECT_EQ(log, ""); // skipped lines are skipped silently; rule 1 does not warn about GENITIVE
    EXPECT_EQ(LANG_translate("Find It"), "La trouver");
    EXPECT_EQ(LANG_translate("Tabbed"), "Tabulé");
    EXPECT_EQ(LANG_translate("Yes"), "Oui"); // the CR of CR LF is no part of the text
    EXPECT_EQ(LANG_translate("Find Me"), "Find Me");
    EXPECT_EQ(LANG_translate("Find You"), "Find You");
    EXPECT_EQ(LANG_translate("Commented"), "Commented");
    EXPECT_EQ(LANG_translate("Alone"), "Alone");
    EXPECT_EQ(LANG_translate("Alone", LANG_GENITIVE), "Seul");
}

TEST_F(Translation, RefusedLinesAreSkippedOthersAreStoredWithTheirError)
{
    const std::string log = load_table("STRING No splitter here\n"
                                       "STRING Yes====O\n"
                                       "STRING Maybe====\n"
                                       "STRING No====Non\n"
                                       "STRING  Two====Deux\n"
                                       "STRING Wait ====Attendez\n"
                                       "STRING %1:n% file====%2:n% fichier\n"
                                       "STRING %1:a% of %2:b%====%2:b% sur %1:a%\n"
                                       "STRING |Check me{Some help====|Cochez\n"
                                       "STRING Left|Right====Gauche|Droite\n");
    EXPECT_EQ(log, "ERROR: language file line 'No splitter here' missing ==== splitter.\n"
                   "ERROR: language file line 'Yes====O' missing right side translation.\n"
                   "ERROR: language file line 'Maybe====' missing right side translation.\n"
                   "ERROR: language file line ' Two====Deux' does not have the same leading spaces.\n"
                   "ERROR: language file line 'Wait ====Attendez' does not have the same trailing spaces.\n"
                   "ERROR: language file line '%1:n% file====%2:n% fichier' has incorrect translated parameters.\n"
                   "ERROR: language file line '|Check me{Some help====|Cochez' does not have its help tips "
                   "correctly formatted.\n");
    EXPECT_EQ(LANG_translate("Yes"), "Yes");
    EXPECT_EQ(LANG_translate("Maybe"), "Maybe");
    EXPECT_EQ(LANG_translate("No"), "Non");
    EXPECT_EQ(LANG_translate(" Two"), "Deux");
    EXPECT_EQ(LANG_translate("Wait "), "Attendez");
    EXPECT_EQ(LANG_translate("%1:n% file"), "%2:n% fichier");
    EXPECT_EQ(LANG_translate("%1:a% of %2:b%"), "%2:b% sur %1:a%");
    EXPECT_EQ(LANG_translate("|Check me{Some help"), "|Cochez");
    EXPECT_EQ(LANG_translate("Left|Right"), "Gauche|Droite");
}

TEST_F(Translation, Utf8Check)
{
    const std::string log = load_table("STRING Ok====Très bien ✓ 🚀\n"
                                       "STRING Overlong====\xC0\x80 passes\n"
                                       "STRING Bad====Tr\xC3s\n"
                                       "STRING Cut====Fin\xE2\x9C\n"
                                       "STRING Lone====\x80x\n"
                                       "STRING High====\xF8\x88\x80\x80\x80\n");
    EXPECT_EQ(log, "ERROR: language file line 'Bad====Tr\xC3s' contains invalid UTF8 characters.\n"
                   "ERROR: language file line 'Cut====Fin\xE2\x9C' contains invalid UTF8 characters.\n"
                   "ERROR: language file line 'Lone====\x80x' contains invalid UTF8 characters.\n"
                   "ERROR: language file line 'High====\xF8\x88\x80\x80\x80' contains invalid UTF8 characters.\n");
    EXPECT_EQ(LANG_translate("Ok"), "Très bien ✓ 🚀");
    EXPECT_EQ(LANG_translate("Bad"), "Tr\xC3s"); // logged, but stored like the other checks
}

TEST_F(Translation, SecondTranslationKeepsTheFirst)
{
    const std::string log = load_table("STRING Open====Ouvrir\n"
                                       "STRING Open====Ouvrez\n"
                                       "GENITIVE Open====Ouvrir (gén.)\n");
    EXPECT_EQ(log, "ERROR: language file line 'Open====Ouvrez' is a second translation of Open====Ouvrir\n");
    EXPECT_EQ(LANG_translate("Open"), "Ouvrir");
    EXPECT_EQ(LANG_translate("Open", LANG_GENITIVE), "Ouvrir (gén.)");
}

TEST_F(Translation, EscapesBecomeLineBreaks)
{
    EXPECT_EQ(load_table("STRING Line\\none\\r\\ntwo====Ligne\\nune\\r\\ndeux\n"), "");
    EXPECT_EQ(LANG_translate("Line\none\r\ntwo"), "Ligne\nune\r\ndeux");
}

TEST_F(Translation, BadHeaderOrMissingTableLeavesEnglish)
{
    const std::string bad = " is not version 900 or has a bad header.\n";
    for (const char* header : {"A\n901\nTRANSLATION\n", "A\n900\nTRANSLATIONS\n", "", "B\n900\nTRANSLATION\n"}) {
        const std::string log = load_table("STRING Yes====Oui\n", plural_exactly_one, header);
        EXPECT_EQ(log, "Translation file " + gTablePath + bad) << header;
        EXPECT_EQ(LANG_translate("Yes"), "Yes");
    }
    // A byte-order mark before the header is allowed.
    EXPECT_EQ(load_table("STRING Yes====Oui\n", plural_exactly_one, "\xEF\xBB\xBF" + std::string(kHeader)), "");
    EXPECT_EQ(LANG_translate("Yes"), "Oui");

    hl_open_log(gLogPath);
    EXPECT_EQ(LANG_load_table(gTablePath + ".gone", plural_exactly_one), 0);
    EXPECT_EQ(log_text(), "Could not find translation file: " + gTablePath + ".gone; using English.\n");
    EXPECT_EQ(LANG_translate("Yes"), "Yes");

    // Italian and Spanish have no table in the program.
    hl_open_log(gLogPath);
    LANG_set_language(4);
    EXPECT_EQ(log_text(), " ==== CHANGING LANGUAGE TO: Italiano. ====\n"
                          "Could not find translation file: RESOURCE:Italian.txt; using English.\n");
}

TEST_F(Translation, ClearAndNewLoadReplaceEverything)
{
    load_table("STRING Yes====Oui\n");
    EXPECT_EQ(LANG_translate("Yes"), "Oui");
    LANG_clear();
    EXPECT_EQ(LANG_translate("Yes"), "Yes");
    load_table("STRING No====Nein\n");
    EXPECT_EQ(LANG_translate("Yes"), "Yes");
    EXPECT_EQ(LANG_translate("No"), "Nein");
    // An index outside the languages with tables is English.
    LANG_set_language(0);
    EXPECT_EQ(LANG_translate("No"), "No");
    LANG_set_language(17);
    EXPECT_EQ(LANG_translate_plural(0, "a", "b"), "b");
}

TEST_F(Translation, MissingStringsAreLoggedOncePerLoad)
{
    gOptions.opts["--missing_strings"] = "";
    load_table("STRING Yes====Oui\n");
    EXPECT_EQ(LANG_translate("Yes"), "Oui");
    EXPECT_EQ(LANG_translate("Two\nlines\r"), "Two\nlines\r");
    EXPECT_EQ(LANG_translate("Two\nlines\r"), "Two\nlines\r");
    EXPECT_EQ(LANG_translate("Rare", LANG_GENITIVE), "Rare");
    EXPECT_EQ(log_text(), "STRING Two\\nlines\\r====Two\\nlines\\r\nSTRING Rare====Rare\n");

    // A new load forgets what was logged.
    load_table("STRING Yes====Oui\n");
    LANG_translate("Rare");
    EXPECT_EQ(log_text(), "STRING Rare====Rare\n");

    // Without the option, and with translation off, nothing is logged.
    gOptions.opts.clear();
    load_table("STRING Yes====Oui\n");
    LANG_translate("Rare");
    LANG_clear();
    gOptions.opts["--missing_strings"] = "";
    LANG_translate("Rare");
    EXPECT_EQ(log_text(), "");
}

TEST_F(Translation, PluralRules)
{
    const std::string rows = "STRING %1:n% file====%1:n% fichier-1\n"
                             "STRING %1:n% files====%1:n% fichiers-5\n"
                             "GENITIVE %1:n% files====%1:n% fichiers-2\n";
    auto form = [](int n) { return LANG_translate_plural(n, "%1:n% file", "%1:n% files"); };

    EXPECT_EQ(load_table(rows, plural_slavic), "");
    const std::string one = "%1:n% fichier-1", two = "%1:n% fichiers-2", five = "%1:n% fichiers-5";
    const std::pair<int, std::string> russian[] = {
        {1, one},    {2, two},    {3, two},   {4, two},    {5, five},   {11, five}, {12, five},  {14, five},
        {21, one},   {22, two},   {31, one},  {101, one},  {102, two},  {111, five}, {112, five}, {121, one},
        {1001, one}, {1011, five}, {0, five}, {-2, five},  {-1, five},  {-21, five}};
    for (const auto& r : russian) EXPECT_EQ(form(r.first), r.second) << r.first;

    // Without a GENITIVE row the genitive counts take the STRING plural.
    load_table("STRING %1:n% file====%1:n% fichier-1\nSTRING %1:n% files====%1:n% fichiers-5\n", plural_slavic);
    EXPECT_EQ(form(22), "%1:n% fichiers-5");

    // French: the singular below 2; English and German: the singular for exactly 1.
    load_table(rows, plural_below_two);
    EXPECT_EQ(form(0), "%1:n% fichier-1");
    EXPECT_EQ(form(1), "%1:n% fichier-1");
    EXPECT_EQ(form(-3), "%1:n% fichier-1");
    EXPECT_EQ(form(2), "%1:n% fichiers-5");
    load_table(rows, plural_exactly_one);
    EXPECT_EQ(form(0), "%1:n% fichiers-5");
    EXPECT_EQ(form(1), "%1:n% fichier-1");
    EXPECT_EQ(form(3), "%1:n% fichiers-5");
    LANG_clear();
    EXPECT_EQ(form(0), "%1:n% files");
    EXPECT_EQ(form(1), "%1:n% file");

    // The genitive-without-plural warning belongs to rule 2 only.
    EXPECT_EQ(load_table("GENITIVE %1:n% files====%1:n% fichiers-2\n", plural_slavic),
              "WARNING: language file line %1:n% files====%1:n% fichiers-2 is provided in genitive but not "
              "plural case.\n");
    EXPECT_EQ(load_table("GENITIVE %1:n% files====%1:n% fichiers-2\n", plural_below_two), "");
}

TEST_F(Translation, ShippedTablesTranslateAndFill)
{
    hl_open_log(TS_new_dir("shipped") + "log.txt");
    LANG_set_language(3);
    auto seconds = [](int n) {
        return LANG_substitute_1(LANG_translate_plural(n, "%1:seconds% second", "%1:seconds% seconds"),
                                 std::to_string(n));
    };
    EXPECT_EQ(seconds(1), "1 секунда");
    EXPECT_EQ(seconds(2), "2 секунды");
    EXPECT_EQ(seconds(5), "5 секунд");
    EXPECT_EQ(seconds(22), "22 секунды");
    LANG_set_language(1);
    EXPECT_EQ(seconds(0), "0 seconde");
    EXPECT_EQ(seconds(2), "2 secondes");
    EXPECT_EQ(LANG_translate("Understood"), "Compris");
    LANG_set_language(2);
    EXPECT_EQ(seconds(0), "0 Sekunden");
    EXPECT_EQ(LANG_translate("Understood"), "Verstanden");
}

TEST(TranslationParams, Substitute)
{
    EXPECT_EQ(LANG_substitute_2("%1:a% of %2:b%", "3", "7"), "3 of 7");
    EXPECT_EQ(LANG_substitute_1("%1:a% of %2:b%", "3"), "3 of %2:b%");
    EXPECT_EQ(LANG_substitute_2("%2:b% sur %1:a%", "3", "7"), "7 sur 3");
    EXPECT_EQ(LANG_substitute_1("100%", "x"), "100%");
    EXPECT_EQ(LANG_substitute_1("100% of %1:n%", "x"), "100% of x");
    // An inserted argument is never scanned again.
    EXPECT_EQ(LANG_substitute_2("%1:a% %2:b%", "%2:b%", "Z"), "%2:b% Z");
    EXPECT_EQ(LANG_substitute_3("%3:c%%1:a%%2:b%", "a", "b", "c"), "cab");
    EXPECT_EQ(LANG_substitute_4("%4:d% %4:d% %0:z% %5:e% %-1:m%", "a", "b", "c", "d"),
              "d d %0:z% %5:e% %-1:m%");
    EXPECT_EQ(LANG_substitute_1("% 1:a%", "x"), "x"); // the number is read as atoi reads it
    EXPECT_EQ(LANG_substitute_1("%99999999999999:a% %1:", "x"), "%99999999999999:a% %1:");
    EXPECT_EQ(LANG_substitute_1("", "x"), "");
}

TEST(TranslationParams, ParamsAndHelpers)
{
    EXPECT_EQ(LANG_get_params("%1:a% %3:c% 100% and %2:b%"), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(LANG_get_params("%0:a% %-2:b% %x:c% 50%"), (std::vector<int>{}));
    EXPECT_EQ(LANG_get_params("%1:a%%1:a%"), (std::vector<int>{1, 1}));
    EXPECT_TRUE(LANG_same_params({1, 2}, {1, 2}));
    EXPECT_FALSE(LANG_same_params({1, 1}, {1}));
    EXPECT_FALSE(LANG_same_params({1, 2}, {1, 3}));

    std::string t = "aXa";
    LANG_replace_all(t, "a", "aa"); // goes on after the inserted text
    EXPECT_EQ(t, "aaXaa");
    EXPECT_EQ(LANG_count_leading_blanks("  \tx "), 2); // blanks only, no tabs
    EXPECT_EQ(LANG_count_trailing_blanks(" x\t  "), 2);
}

// The start-up language: "--lang" by exact code, else the environment.
class LanguageChoice : public testing::Test {
protected:
    void SetUp() override
    {
        gOptions.opts.clear();
        for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(v);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(LanguageChoice, FromTheEnvironment)
{
    EXPECT_EQ(PLAT_ui_language_code(), "en");
    EXPECT_EQ(LANG_choose_language(), 0);
    const struct {
        const char* language;
        const char* lc_all;
        const char* lc_messages;
        const char* lang;
        const char* code;
        int index;
    } cases[] = {
        {"", "", "", "fr_FR.UTF-8", "fr", 1},
        {"", "", "", "de", "de", 2},
        {"", "", "", "ru_RU.KOI8-R@cyrillic", "ru", 3},
        {"", "", "", "C", "en", 0},
        {"", "", "", "C.UTF-8", "en", 0},
        {"", "", "", "POSIX", "en", 0},
        {"", "", "de_DE.UTF-8", "fr_FR.UTF-8", "de", 2},
        {"", "es_ES", "de_DE.UTF-8", "fr_FR.UTF-8", "es", 5},
        {"it:fr", "es_ES", "de_DE.UTF-8", "fr_FR.UTF-8", "it", 4},
        {":ru", "", "", "fr_FR.UTF-8", "fr", 1},
        {"", "", "", "FR_fr", "fr", 1},
        {"", "", "", "ja_JP.UTF-8", "ja", -1},
        {"", "", "", "pt_BR", "pt", -1},
        {"", "", "", "1234", "", -1},
        {"", "", "", "en_GB", "en", 0},
    };
    for (const auto& c : cases) {
        setenv("LANGUAGE", c.language, 1);
        setenv("LC_ALL", c.lc_all, 1);
        setenv("LC_MESSAGES", c.lc_messages, 1);
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(PLAT_ui_language_code(), c.code) << c.language << "|" << c.lc_all << "|" << c.lang;
        EXPECT_EQ(LANG_choose_language(), c.index) << c.language << "|" << c.lc_all << "|" << c.lang;
    }
}

TEST_F(LanguageChoice, CommandLineWins)
{
    setenv("LANG", "de_DE.UTF-8", 1);
    gOptions.opts["--lang"] = "ru";
    EXPECT_EQ(LANG_choose_language(), 3);
    gOptions.opts["--lang"] = "fr";
    EXPECT_EQ(LANG_choose_language(), 1);
    gOptions.opts["--lang"] = "FR"; // codes are exact: this falls through to the environment
    EXPECT_EQ(LANG_choose_language(), 2);
    gOptions.opts["--lang"] = "";
    EXPECT_EQ(LANG_choose_language(), 2);
    setenv("LANG", "ja_JP", 1);
    gOptions.opts["--lang"] = "xx";
    EXPECT_EQ(LANG_choose_language(), -1);
}

// The program itself: the language it starts in, and its own tables load without a complaint.
static std::string run_program(const std::vector<std::string>& args, const std::map<std::string, std::string>& env)
{
    static TS_xvfb x;
    if (x.display.empty()) {
        EXPECT_TRUE(TS_xvfb_start(x, "1280x1024x24"));
    }
    const std::string d = TS_new_dir("prog");
    TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + d + "corvane-updater'");
    std::map<std::string, std::string> all = {{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", ""}};
    for (const auto& e : env) all[e.first] = e.second;
    TS_result r = TS_run_updater_closed(d + "corvane-updater", args, all, x);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return TS_read_file(d + "Corvane Installer Log.txt");
}

static bool has_complaint(const std::string& log)
{
    for (const char* word : {"ERROR", "WARNING", "Could not find translation", "bad header"})
        if (log.find(word) != std::string::npos) return true;
    return false;
}

TEST(LanguageAtStartup, ShippedTablesLoadCleanly)
{
    const struct {
        const char* code;
        const char* name;
    } langs[] = {{"fr", "Français"}, {"de", "Deutsch"}, {"ru", "Русский"}};
    for (const auto& l : langs) {
        const std::string log = run_program({std::string("--lang=") + l.code, "--missing_strings"}, {});
        EXPECT_NE(log.find(std::string(" ==== CHANGING LANGUAGE TO: ") + l.name + ". ====\n"), std::string::npos)
            << log;
        EXPECT_FALSE(has_complaint(log)) << log;
    }
}

TEST(LanguageAtStartup, FromEnvironmentOrEnglish)
{
    std::string log = run_program({}, {{"LANG", "ru_RU.UTF-8"}});
    EXPECT_NE(log.find(" ==== CHANGING LANGUAGE TO: Русский. ====\n"), std::string::npos) << log;
    log = run_program({"--lang=de"}, {{"LC_ALL", "fr_FR.UTF-8"}});
    EXPECT_NE(log.find(" ==== CHANGING LANGUAGE TO: Deutsch. ====\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Français"), std::string::npos) << log;
    // English loads no table. (A language the program does not know raises the language
    // chooser: see the start-up tests.)
    for (const char* lang : {"C", "en_US.UTF-8", ""}) {
        log = run_program({}, {{"LANG", lang}});
        EXPECT_EQ(log.find("CHANGING LANGUAGE"), std::string::npos) << lang << "\n" << log;
        EXPECT_FALSE(has_complaint(log)) << log;
    }
}

TEST(Label, Split)
{
    const struct {
        const char* label;
        const char* cleaned;
        const char* first;
        const char* second;
        const char* help;
    } cases[] = {
        {"|-I agree!", "|-I agree!", "", "-I agree!", ""},
        {"Operating System to download Corvane for:|(Install and copy the entire Corvane folder to another "
         "computer if you like)",
         "Operating System to download Corvane for:|(Install and copy the entire Corvane folder to another "
         "computer if you like)",
         "Operating System to download Corvane for:",
         "(Install and copy the entire Corvane folder to another computer if you like)", ""},
        {"x-resolution of movie|(pix) { The y-resolution is auto-set for you to scale perfectly based on the "
         "x-resolution you enter here.",
         "x-resolution of movie|(pix){The y-resolution is auto-set for you to scale perfectly based on the "
         "x-resolution you enter here.",
         "x-resolution of movie", "(pix)",
         "The y-resolution is auto-set for you to scale perfectly based on the x-resolution you enter here."},
        {"a|b|c", "a|b|c", "a|b", "c", ""},
        {"Plain", "Plain", "Plain", "", ""},
        {"", "", "", "", ""},
        {"Face{help}", "Face{help}", "Face", "", "help}"},
        {"a  |  b", "a | b", "a ", " b", ""}, // one blank per side and marker
        {"|", "|", "", "", ""},
        {"{", "{", "", "", ""},
        {"L|R{help with a|bar", "L|R{help with a|bar", "L", "R", "help with a|bar"},
        {"Left{x|y", "Left{x|y", "Left", "", "x|y"},
    };
    for (const auto& c : cases) {
        std::string label = c.label, first = "?", second = "?", help = "?";
        BTN_split_label(label, first, second, help);
        EXPECT_EQ(label, c.cleaned) << c.label;
        EXPECT_EQ(first, c.first) << c.label;
        EXPECT_EQ(second, c.second) << c.label;
        EXPECT_EQ(help, c.help) << c.label;
    }
}
