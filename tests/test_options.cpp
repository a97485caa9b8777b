// The command-line tokeniser, the option lookups, and the print-and-exit options both as texts
// and as what the program prints when run on its own without a display.
#include "foundation/FILE_ops.h"
#include "foundation/options.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

static std::string expected(const std::string& name)
{
    return TS_read_file(std::string(CORVANE_TEST_SOURCE_DIR) + "/data/cmdline/" + name);
}

struct Parsed {
    CMDLINE_options store;
    std::string log;
};

static Parsed tokenize(const char* text)
{
    Parsed p;
    std::ostringstream log;
    CMDLINE_tokenize(p.store, text, log);
    p.log = log.str();
    return p;
}

typedef std::map<std::string, std::string> Opts;

TEST(Tokenizer, EmptyAndWhiteSpaceOnly)
{
    for (const char* t : {"", " \t\n\v\f\r  "}) {
        Parsed p = tokenize(t);
        EXPECT_TRUE(p.store.opts.empty());
        EXPECT_EQ(p.log, "");
    }
    Parsed p = tokenize(nullptr);
    EXPECT_TRUE(p.store.opts.empty());
}

TEST(Tokenizer, RepeatsWarnWithTheNewValueAndTheLastWins)
{
    Parsed p = tokenize("--a --a=1 --a=2");
    EXPECT_EQ(p.store.opts, (Opts{{"--a", "2"}}));
    EXPECT_EQ(p.log, "     '--a'\n"
                     "WARNING: command line option --a=1 used twice.\n"
                     "     '--a'='1'\n"
                     "WARNING: command line option --a=2 used twice.\n"
                     "     '--a'='2'\n");
    p = tokenize("--b=x --b");
    EXPECT_EQ(p.store.opts, (Opts{{"--b", ""}}));
    EXPECT_EQ(p.log, "     '--b'='x'\nWARNING: command line option --b= used twice.\n     '--b'\n");
}

TEST(Tokenizer, EqualsSignsAndEmptyNames)
{
    Parsed p = tokenize("--x=");
    EXPECT_EQ(p.store.opts, (Opts{{"--x", ""}}));
    EXPECT_EQ(p.log, "     '--x'\n");

    p = tokenize("--dref:a=b=c -h");
    EXPECT_EQ(p.store.opts, (Opts{{"--dref:a", "b=c"}, {"-h", ""}}));
    EXPECT_EQ(p.log, "     '--dref:a'='b=c'\n     '-h'\n");

    p = tokenize("=oops --b");
    EXPECT_EQ(p.store.opts, (Opts{{"--b", ""}}));
    EXPECT_EQ(p.log, "     '--b'\n");

    p = tokenize("= =\"x y\" ==");
    EXPECT_TRUE(p.store.opts.empty());
    EXPECT_EQ(p.log, "");
}

TEST(Tokenizer, Quotes)
{
    Parsed p = tokenize("--name=\"two words\" next");
    EXPECT_EQ(p.store.opts, (Opts{{"--name", "two words"}, {"next", ""}}));
    EXPECT_EQ(p.log, "     '--name'='two words'\n     'next'\n");

    // No blank is needed after the closing quote.
    p = tokenize("--name=\"v\"--b=1");
    EXPECT_EQ(p.store.opts, (Opts{{"--name", "v"}, {"--b", "1"}}));

    // An unclosed quote runs to the end of the text.
    p = tokenize("--name=\"unclosed --c=1");
    EXPECT_EQ(p.store.opts, (Opts{{"--name", "unclosed --c=1"}}));

    // Quotes elsewhere in a value are plain characters; an empty quoted value is empty.
    p = tokenize("--v=a\"b --e=\"\" --q\"=1");
    EXPECT_EQ(p.store.opts, (Opts{{"--v", "a\"b"}, {"--e", ""}, {"--q\"", "1"}}));
}

TEST(Tokenizer, WhiteSpaceIsExactlySixCharacters)
{
    Parsed p = tokenize("\t--a=1\n--b\v--c\f--d\r--e --f");
    EXPECT_EQ(p.store.opts, (Opts{{"--a", "1"}, {"--b", ""}, {"--c", ""}, {"--d", ""}, {"--e", ""}, {"--f", ""}}));
    p = tokenize("--a\xa0\x85--b=\x01x\xff");
    EXPECT_EQ(p.store.opts, (Opts{{"--a\xa0\x85--b", "\x01x\xff"}}));
}

TEST(Options, LookupsAreExact)
{
    std::ostringstream log;
    CMDLINE_tokenize(gOptions, "--lang=fr --pref:_x=7 --empty=", log);
    EXPECT_TRUE(CMDLINE_has_option("--lang"));
    EXPECT_EQ(CMDLINE_get_option("--lang"), "fr");
    EXPECT_FALSE(CMDLINE_has_option("--LANG"));
    EXPECT_FALSE(CMDLINE_has_option("--lan"));
    EXPECT_FALSE(CMDLINE_has_option("--pref:"));
    EXPECT_EQ(CMDLINE_get_option("--pref:_x"), "7");
    EXPECT_TRUE(CMDLINE_has_option("--empty"));
    EXPECT_EQ(CMDLINE_get_option("--empty"), "");
    EXPECT_EQ(CMDLINE_get_option("--never-given"), "");
}

TEST(Options, ArgvTextKeepsValuesWithBlanksWhole)
{
    // Each option comes from one whole argument that begins with '-'; folder arguments give none.
    const char* argv[] = {"prog", "--pref:_proxy_host=a b", "--k=\"x y\"", "/my folder/", "-z=\ttab",
                          "/home/me/My Sims --server=evil.test/rel/", "-x --server=e", "--n=a\" --server=e"};
    std::string text = CMDLINE_text_from_argv(8, argv);
    EXPECT_EQ(text, "--pref:_proxy_host=\"a b\" --k=\"x y\" -z=\"\ttab\"");
    Parsed p = tokenize(text.c_str());
    EXPECT_EQ(p.store.opts, (Opts{{"--pref:_proxy_host", "a b"}, {"--k", "x y"}, {"-z", "\ttab"}}));
    const char* ended[] = {"prog", "--os=LIN", "--", "-copy", "--lang=de"}; // folder words after "--"
    EXPECT_EQ(CMDLINE_text_from_argv(5, ended), "--os=LIN");
}

TEST(StandardOptions, Texts)
{
    EXPECT_EQ(CMDLINE_usage_text(), expected("usage.txt"));
    EXPECT_EQ(CMDLINE_cmnds_text(""), expected("cmnds.txt"));
    EXPECT_EQ(CMDLINE_cmnds_text("sim/"), expected("cmnds_sim.txt"));
    EXPECT_EQ(CMDLINE_cmnds_text("sim/operation/"), expected("cmnds_sim_operation.txt"));
    EXPECT_EQ(CMDLINE_cmnds_text("all"), expected("cmnds_all.txt"));
    EXPECT_EQ(CMDLINE_cmnds_text("zzz"), "");
    EXPECT_EQ(CMDLINE_cmnds_text("sim"), "/\n");
    EXPECT_EQ(CMDLINE_cmnds_text("ALL"), "");
}

// The program in a folder of its own, so its log lands there.
static const std::string& program_dir()
{
    static std::string d;
    if (d.empty()) {
        d = TS_new_dir("prog");
        TS_sh(std::string("cp '") + CORVANE_UPDATER_EXE + "' '" + d + "corvane-updater'");
    }
    return d;
}

static TS_result run_program(const std::vector<std::string>& args, const std::string& tmpdir = "")
{
    std::vector<std::string> argv = {program_dir() + "corvane-updater"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<std::string, std::string> env = {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    if (!tmpdir.empty()) env["TMPDIR"] = tmpdir;
    return TS_run(argv, env, 30);
}

// Other options are echoed to the log; the informational ones print and leave that log, byte for
// byte, so a look at the help after a failed run keeps what says what failed. They print even
// where the temporary folder cannot be made, which would end any other start.
TEST(StandardOptions, ProgramPrintsAndExitsWithoutDisplayLeavingTheLog)
{
    TS_result r = run_program({"--dref:sim/x=1", "--pref:_proxy_host=my host", "--dref:sim/x=2", "-x"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string log_path = program_dir() + "Corvane Installer Log.txt";
    const std::string log = TS_read_file(log_path);
    const std::string echo = "     '--dref:sim/x'='1'\n"
                             "     '--pref:_proxy_host'='my host'\n"
                             "WARNING: command line option --dref:sim/x=2 used twice.\n"
                             "     '--dref:sim/x'='2'\n"
                             "     '-x'\n";
    EXPECT_NE(log.find(echo), std::string::npos) << log;

    const struct {
        std::vector<std::string> args;
        const char* file;
    } cases[] = {
        {{"--version"}, "version.txt"},
        {{"--help"}, "usage.txt"},
        {{"-h"}, "usage.txt"},
        {{"--cmnds"}, "cmnds.txt"},
        {{"--cmnds=sim/"}, "cmnds_sim.txt"},
        {{"--cmnds=sim/operation/"}, "cmnds_sim_operation.txt"},
        {{"--cmnds=all"}, "cmnds_all.txt"},
        {{"--cmnds=zzz"}, "cmnds_unknown.txt"},
        // Only the first present of --cmnds, --version, -h/--help is served.
        {{"--version", "--help"}, "version.txt"},
        {{"-h", "--version", "--cmnds=all"}, "cmnds_all.txt"},
        {{"--lang=de", "-h", "/some/copy/"}, "usage.txt"},
    };
    for (const auto& c : cases) {
        std::string shown = c.args[0] + (c.args.size() > 1 ? " ..." : "");
        TS_result r = run_program(c.args, program_dir() + "corvane-updater/tmp");
        ASSERT_FALSE(r.timed_out) << shown;
        EXPECT_EQ(r.signal, 0) << shown;
        EXPECT_EQ(r.exit_code, 0) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, expected(c.file)) << shown;
        EXPECT_EQ(r.err, "") << shown;
        EXPECT_EQ(TS_read_file(log_path), log) << shown;
    }
    // Only whole arguments are informational options: a folder holding " --version" and every
    // word after "--" are folder words, and the start goes on (to the temporary folder's alert).
    for (const auto& args : {std::vector<std::string>{"/sims/Corvane --version"}, {"/a -h --cmnds=all"},
                             {"--", "--version"}}) {
        TS_result r = run_program(args, program_dir() + "corvane-updater/tmp");
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_NE(r.err.find("The temporary folder cannot be used safely."), std::string::npos) << r.err;
    }
    // Output that cannot be written is a failure told on standard error.
    for (const char* opt : {"--version", "--help"}) {
        TS_result r = TS_run({"sh", "-c", "exec \"$0\" \"$1\" >/dev/full", program_dir() + "corvane-updater", opt});
        EXPECT_EQ(r.exit_code, 1) << opt;
        EXPECT_EQ(r.err, "Could not write to standard output: " + FILE_error_text(28) + "\n") << opt;
    }
}
