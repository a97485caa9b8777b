// The movie recorder (see qtim.h).
#include "graphics/qtim.h"

#include "foundation/hl_string.h"
#include "frame/alert.h"
#include "graphics/OGL_view.h"

void QT_movie_tick()
{
    // The recorder is never started, so all the tick does is present the frame.
    OGL_swap_buffers();
}

void QT_alert_err(const std::string& line1, const std::string& line2, const char* line3, int error)
{
    MACIBM_alert(0, line1, line2, line3 ? line3 : "", hl_number_text(error), t_fatal, "qtim", 90);
}
