// The start-up message screen, as the texture manager shows its "Loading bitmap" lines on it.
// The frame's start-up unit fills it in.
#pragma once
#include <string>

// Draws the framed start-up message screen with the text (and a progress bar when progress is
// given) and presents it at once.
void draw_startup_message(const std::string& text, float* progress);
