// The movie recorder (see qtim.h).
#include "graphics/qtim.h"

#include "graphics/OGL_view.h"

void QT_movie_tick()
{
    // The recorder is never started, so all the tick does is present the frame.
    OGL_swap_buffers();
}
