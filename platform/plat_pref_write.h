// Saving a small settings file whole: the new bytes go to a temporary file beside the old one,
// which is renamed over it only once complete, so a crash while saving never loses the old file.
#pragma once
#include <string>

// Replaces the file at the absolute path with the bytes. A link is followed, so the file it
// points at is replaced; a file without write permission is left alone (EACCES) and an existing
// file keeps its permission bits. 0, or an errno value; on failure the old file is untouched
// and no temporary file is left behind.
int PLAT_pref_replace_file(const std::string& path, const std::string& bytes);

// Called, when set, after the temporary file is complete and on disk and before it is renamed
// over the old file. Only tests set it, to end the process at that point.
extern void (*PLAT_pref_replace_hook)(const std::string& temp_path);
