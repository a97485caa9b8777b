// The movie recorder's per-frame tick, which presents every frame. Recording is filled in by
// its own unit later; on Linux the recorder reports itself unavailable.
#pragma once

void QT_movie_tick();
