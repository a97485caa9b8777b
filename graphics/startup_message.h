// The start-up message screen, as the texture manager shows its "Loading bitmap" lines on it.
// The frame's start-up points the hook at its drawing; while it is null no message is shown.
#pragma once
#include <string>

// Draws the framed start-up message screen with the text (and a progress bar when progress is
// given) and presents it at once.
extern void (*gStartupMessageHook)(const std::string& text, float* progress);
