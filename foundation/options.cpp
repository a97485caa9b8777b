// Command-line option store, its tokeniser and the standard options (see options.h).
#include "foundation/options.h"

#include "foundation/FILE_ops.h"
#include "foundation/command_table.h"
#include "foundation/log.h"
#include "foundation/tunables.h"
#include "foundation/version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <vector>

CMDLINE_options gOptions;
CMD_table_hooks gCommandTable;

// The joined text cannot tell the option "--version" from a folder "/sims/Corvane --version"
// that the shell handed over as one argument: once argv has been read, the standard options
// are served only when an argument of their own gave them.
static bool gArgvRead = false;
static std::set<std::string> gArgvOptionNames;

static bool is_white(char c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

// Reads the word at p into out (empty at white space or the end), without its quotes when it
// begins with one; returns the cursor behind it. No escapes: a quoted word ends at the next
// quote (or the end), and the next word may follow the closing quote without a blank.
static const char* read_word(const char* p, std::string& out)
{
    const bool quoted = *p == '"';
    const char* begin = p + quoted;
    p = begin;
    while (*p && (quoted ? *p != '"' : !is_white(*p))) ++p;
    out.assign(begin, (size_t)(p - begin));
    return quoted && *p ? p + 1 : p;
}

// Reads the option word at p (not white space) into name and value; returns the cursor behind it.
static const char* read_option_word(const char* p, std::string& name, std::string& value)
{
    const char* name_begin = p;
    while (*p && !is_white(*p) && *p != '=') ++p;
    name.assign(name_begin, (size_t)(p - name_begin));
    value.clear();
    return *p == '=' ? read_word(p + 1, value) : p;
}

void CMDLINE_tokenize(CMDLINE_options& store, const char* text, std::ostream& log)
{
    const char* p = text ? text : "";
    std::string name, value;
    while (true) {
        while (is_white(*p)) ++p;
        if (!*p) break;
        p = read_option_word(p, name, value);
        if (name.empty()) continue;
        if (store.opts.count(name)) log << "WARNING: command line option " << name << "=" << value << " used twice.\n";
        store.opts[name] = value;
        log << "     '" << name;
        if (!value.empty()) log << "'='" << value;
        log << "'\n";
    }
}

std::string CMDLINE_folder_words(int argc, const char* const* argv)
{
    std::string words;
    bool options_ended = false; // by a lone "--": a folder may begin with '-'
    for (int i = 1; i < argc; ++i) {
        if (!argv[i] || !argv[i][0]) continue;
        if (!options_ended && strcmp(argv[i], "--") == 0) {
            options_ended = true;
            continue;
        }
        if (!options_ended && argv[i][0] == '-') continue;
        if (!words.empty()) words += ' ';
        words += argv[i];
    }
    return words;
}

void CMDLINE_parse(const char* text)
{
    CMDLINE_tokenize(gOptions, text, gLog);
    CMDLINE_handle_standard();
}

void CMDLINE_handle_standard_unlogged(const char* text)
{
    std::ostringstream unlogged;
    CMDLINE_tokenize(gOptions, text, unlogged);
    CMDLINE_handle_standard();
    gOptions.opts.clear();
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

// The text is shared with the simulator family, so it names options this program never reads;
// it is printed as it stands.
static const char* const kUsageLines[] = {
    "Usage: Corvane [options...]\n",
    "\n",
    "Corvane can take a number of command-line flags, in the form of --flag or\n",
    "--flag=value.  OpenGL options are available for all Corvane-related\n",
    "applications; the frame-rate test is only for Corvane itself.  Here is a list of current flags:\n",
    "\n",
    "--help\n",
    "-h\n",
    "Prints this message listing all command-line options, then quits.\n",
    "\n",
    "--no_sound\n",
    "Runs without initializing sound - can help identify a problem with sound hardware.\n",
    "\n",
    "--missing_strings\n",
    "Causes Corvane to output to the log file any string that it cannot find a localization\n",
    "to the current language for.  Since the sim runs natively in English, this option does\n",
    "nothing unless you change languages.\n",
    "--lang=<lang code>\n",
    "Runs the sim in a specific language (if available) - this only takes effect if there\n",
    "is no pre-saved preference.  This bypasses the regular system-language detection.\n",
    "\n",
    "--allow_rosetta\n",
    "Normally Corvane will not run under Rosetta PPC emulation.  Pass this flag to allow\n",
    "ppc execution on an x86 machine.  NOTE: running under Rosetta is strongly discouraged\n",
    "for performance reasons; this option is only provided so that plugin developers can\n",
    "test PPC plugins on an x86 Macintosh.\n",
    "\n",
    "OPTIONS TO AUTO-CONFIGURE CORVANE\n",
    "--pref:<key>=<value>\n",
    "This command line option can be used more than one time, and sets an individual preference\n",
    "to the overloaded value specified on the command line.\n",
    "\n",
    "--dref:<ref>=<value>\n",
    "This command line option sets a dataref to a value at startup.  Note: because this command line\n",
    "runs early in the sim's life-cycle, it is only appropriate for datarefs created by the sim.\n",
    "\n",
    "OPTIONS TO DISABLE HARDWARE ACCELERATION\n",
    "Normally Corvane uses all available hardware capabilities to maximize framerate.\n",
    "These options force Corvane not to use some aspects of hardware acceleration.\n",
    "This hurts framerate, but can sometimes allow you to work around driver bugs.\n",
    "--no_vbos\n",
    "This disables the use of vertex buffer objects, as defined by \n",
    "GL_ARB_vertex_buffer_object.  VBOs are used to accelerate all aspects of Corvane\n",
    "drawing.\n",
    "--no_fbos\n",
    "Disable the use of framebuffer objects, even if the hardware supports them.\n",
    "--no_pbos\n",
    "Disable the use of pixelbuffer objects, even if the hardware supports them.\n",
    "--no_sprites\n",
    "This disables the use of point sprites, as defined by GL_ARB_point_sprite.\n",
    "Point sprites are used to accelerate runway lights, among other things.\n",
    "--no_pixel_counters\n",
    "This disables pixel counters, as defined by GL_ARB_occlusion_query.  Pixel\n",
    "counters are used to calculate sun glare, among other things.\n",
    "--no_aniso_filtering\n",
    "This disables anisotropic filtering of textures, as defined by\n",
    "GL_EXT_texture_filter_anisotropic.  Anisotropic filtering is used to make\n",
    "runways look better.\n",
    "--no_hw_mipmap\n",
    "This disables hardware accelerated mipmap-creation, as defined by\n",
    "GL_SGIS_generate_mipmap.  Corvane will still use mipmapping, but it will\n",
    "create the mipmap images on the CPU instead of the GPU.\n",
    "--no_fshaders\n",
    "Disable the use of fragment shaders, even on hardware that reports having them.\n",
    "--no_vshaders\n",
    "Disable the use of vertex shaders, even on hardware that reports having them.\n",
    "--no_glsl\n",
    "Disable the use of GLSL, even on hardware that supports it.\n",
    "--limited_glsl\n",
    "Force shaders to act as if the graphics hardware has the most limited GLSL, e.g. R300 or NV25.\n",
    "--unlimited_glsl\n",
    "Override the detection of first-gen graphics hw to run advanced shaders on old machines.  WARNING: this may cause Corvane to crash if it exceeds the maximum fragment program length.\n",
    "--no_threaded_ogl\n",
    "Disable the use of OpenGL via multiple threads.\n",
    "\n",
    "OPTIONS TO ENABLE INCOMPATIBLE HARDWARE ACCELERATION\n",
    "Corvane will in a few cases intentionally disable hardware acceleration\n",
    "to work around known driver compatibility bugs.  You can force Corvane\n",
    "to use the feature anyway (if the card supports it) with these options,\n",
    "but they may cause the sim to crash.\n",
    "--use_vbos\n",
    "Forces the use of VBOs, even on drivers where we at one point found\n",
    "them to be unstable.\n",
    "--use_sprites\n",
    "Forces the use of point sprites, even on drivers where they cause bugs.\n",
    "--use_fshaders\n",
    "Force the use of fragment shaders, even if they would not normally be used.\n",
    "--use_vshaders\n",
    "Force the use of vertex shaders, even if they would not be used.\n",
    "--use_glsl\n",
    "Force the use of GLSL even on cards where we would avoid it due to driver compatibility problems.\n",
    "--use_fbos\n",
    "Force the use of FBOs even on hardware where it would not be used due to compatibility problems.\n",
    "--force_run\n",
    "Corvane will not run on a machine that does not appear to have some\n",
    "minimum requirements, like at least two texture units.  This will allow\n",
    "Corvane to run no matter what the hardware looks like.  Please note that\n",
    "most of the time if Corvane out-right refuses to run, it will probably\n",
    "crash later if --force_run is used.\n",
    "\n",
    "FRAMERATE TEST\n",
    "--fps_test=n\n",
    "This runs Corvane in frame-rate test mode.  The number indicates a framerate\n",
    "test number, which is 3 digits indicating a combination of camera angle,\n",
    "scenery complexity, and weather settings.  Corvane will run for 90 seconds\n",
    "and quit, outputting 3 framerates to the Log.txt file for panel view,\n",
    "no-panel view, and paused no-panel view.  This can be used to get repeatable\n",
    "performance measurements without changing preferences.  (The preferences\n",
    "file is ignored when the framerate test is in effect.)\n",
    "--require_fps=n\n",
    "When used after --fps_test this puts Corvane into a pass-fail mode.  The\n",
    "sim will run only one 30 second test with the flight model paused.  The\n",
    "sim will then exit with 0 if the measured fps is higher than N or 1\n",
    "if the fps is lower.  This can be used to create a shell script that will\n",
    "automatically detect whether Corvane performance is as expected.\n",
    "--qa_script=<file>\n",
    "This will use the specified text file to run some time-based commands to monitor Corvane's performance.  See the wiki for more info.\n",
    "\n",
};

std::string CMDLINE_usage_text()
{
    std::string text;
    for (const char* line : kUsageLines) text += line;
    return text;
}

std::string CMDLINE_cmnds_text(const std::string& value)
{
    std::string text;
    if (value == "all") {
        int n = gCommandTable.count ? gCommandTable.count() : 0;
        for (int i = 0; i < n; ++i) {
            std::string name = gCommandTable.get_name(i);
            if (name.size() < 50) name.append(50 - name.size(), ' ');
            text += name + " " + gCommandTable.get_description(i) + "\n";
        }
        return text;
    }
    std::vector<std::string> levels;
    if (gCommandTable.list_prefix) gCommandTable.list_prefix(value, levels);
    std::sort(levels.begin(), levels.end());
    for (const std::string& l : levels) text += l + "\n";
    return text;
}

// Static destructors still run (the log is flushed and closed); nothing else is shut down and
// no preference file is written. Output that could not be written (a full disk, a closed pipe)
// is no success: a script would take the empty text for the version.
[[noreturn]] static void print_and_exit(const std::string& text)
{
    errno = 0;
    const size_t written = std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || written != text.size() || std::ferror(stdout)) {
        const int err = errno ? errno : EIO;
        std::fprintf(stderr, "Could not write to standard output: %s\n", FILE_error_text(err).c_str());
        std::exit(1);
    }
    std::exit(0);
}

static bool standard_given(const char* name)
{
    return CMDLINE_has_option(name) && (!gArgvRead || gArgvOptionNames.count(name));
}

void CMDLINE_handle_standard()
{
    if (standard_given("--cmnds")) print_and_exit(CMDLINE_cmnds_text(CMDLINE_get_option("--cmnds")));
    if (standard_given("--version")) print_and_exit(std::string(CORVANE_VERSION_TEXT) + "\n");
    if (standard_given("-h") || standard_given("--help")) print_and_exit(CMDLINE_usage_text());
}

void CMDLINE_apply_drefs()
{
    static const std::string prefix = "--dref:";
    for (const auto& [name, value] : gOptions.opts)
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            TUNABLE_dref_hook(name.substr(prefix.size()));
}

static bool has_white(const std::string& s)
{
    for (char c : s)
        if (is_white(c)) return true;
    return false;
}

// The system hands us argv, not one text: the option arguments (those that begin with '-') are
// joined by single blanks. An option argument "-name=value" whose value holds white space gets
// its value quoted so the tokeniser keeps it whole. A value that already holds a double quote is
// left as it is when it reads whole so (written with its own quotes around it); otherwise the
// argument is left out, as is one whose name holds white space: no argument may give the
// tokeniser more than one option. The other arguments are the folder to update
// (CMDLINE_folder_words) and are never read for options: a folder "/home/me/My Sims --lang=de"
// stays a folder.
std::string CMDLINE_text_from_argv(int argc, const char* const* argv)
{
    std::string text;
    gArgvRead = true;
    gArgvOptionNames.clear();
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i] ? argv[i] : "";
        if (a == "--") break; // what follows is folder words, never options
        if (a.empty() || a[0] != '-') continue;
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (has_white(name)) continue;
        std::string word = a;
        if (eq != std::string::npos && has_white(a.substr(eq + 1))) {
            const std::string value = a.substr(eq + 1);
            const size_t quote = value.find('"');
            if (quote == std::string::npos)
                word = name + "=\"" + value + "\"";
            else if (quote != 0 || value.find('"', 1) != value.size() - 1)
                continue;
        }
        gArgvOptionNames.insert(name);
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}
