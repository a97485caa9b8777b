// Preference files: settings that outlive a run, kept as tag and value lines behind the
// data-file header, and the lists of tags that each kind of preference file exchanges.
#pragma once
#include <map>
#include <sstream>
#include <string>

// One preference file, for the length of one read or one write.
struct pref_file {
    std::ostringstream out;                  // write mode: the file's bytes until it is saved
    int mode = 0;                            // 1 write, 0 read
    std::map<std::string, std::string> tags; // read mode: the file's entries, by tag
    std::string path;                        // write mode: the absolute path it is saved to

    // Mode 1 starts a new file with its header; nothing reaches the disk before close. Mode 0
    // reads the file's entries; a missing file, or one with a bad header or another version,
    // gives none, without a message.
    pref_file(const std::string& path, int mode);
    ~pref_file(); // saves a written file that was not closed yet
    pref_file(const pref_file&) = delete;
    pref_file& operator=(const pref_file&) = delete;

    // Write mode: writes the tag, a blank and the value (cut at its first line end or NUL, so it
    // stays one entry) as one line; returns 0. Read mode: a "--pref:" + tag option, else the
    // file's entry, goes to result and the answer is 1; 0 leaves result alone.
    int exchange(const std::string& value, std::string& result, const std::string& tag);

    // Write mode: replaces the file on disk with everything written, whole, so the old file
    // stays as it was when saving fails (an alert says so). 1 when saved; later calls do nothing.
    int close();

private:
    int closed = 0;
};

// The installer preferences (kind 11) that are plain variables; the application and the install
// engine read and set them.
extern int gStreamCount; // only carried from preference file to preference file ("_stream_count")
extern int gLogActions;  // log every file action of the install engine ("_log_actions")
extern int gWantBetas;   // look for beta releases as well ("_get_beta")

// Reads (direction 0) or writes (1) the preference file of a kind, exchanging every tag of the
// kind with the variable it belongs to. 10: the screen resolution, OpenGL wishes and language;
// 11: the installer preferences; 12: the calibration file (header only). Other kinds change
// nothing. The program itself uses only 11.
void PREF_read_write(int kind, int direction);

// Where a kind's file lives: absolute for 11, relative to the program's folder for 10 and 12.
std::string PREF_file_path(int kind);

// A value as a decimal int: leading white space, an optional sign, then digits up to the first
// other character; no digits give 0, and a number beyond the int range gives its nearest end.
int PREF_parse_int(const std::string& text);
