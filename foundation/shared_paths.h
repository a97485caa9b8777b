// Folder names and the default install name that several modules share; each folder name
// is relative and ends in '/', to be put behind the install folder or the program's folder.
// Constant arrays, so they exist before any static constructor could read them.
#pragma once
#include <string_view>

inline constexpr char RESOURCES_FOLDER[] = "Resources/";
inline constexpr char OUTPUT_FOLDER[] = "Output/";
inline constexpr char BITMAPS_FOLDER[] = "Resources/bitmaps/";      // resources folder + "bitmaps/"
inline constexpr char PREFERENCES_FOLDER[] = "Output/preferences/"; // output folder + "preferences/"
inline constexpr char NOT_SCANNED_NAME[] = "Not Yet Scanned";

static_assert(std::string_view(BITMAPS_FOLDER).starts_with(RESOURCES_FOLDER));
static_assert(std::string_view(PREFERENCES_FOLDER).starts_with(OUTPUT_FOLDER));
