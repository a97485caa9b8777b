// The backdrop behind the user interface (see OGL_back_tex.h).
#include "graphics/OGL_back_tex.h"

#include "foundation/HL_THREAD.h"
#include "foundation/UTL_thread.h"
#include "foundation/alert.h"
#include "foundation/paths.h"
#include "foundation/shared_paths.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_bmp.h"
#include "graphics/TEX_obj.h"
#include "graphics/TEX_rle.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <cstdlib>
#include <cstring>

static const float kBackdropAlpha = 1.0f;
static const int kSide = 2048;   // the picture, in pixels
static const int kTile = 512;    // one tile texture; 4 x 4 of them cover the picture
static const int kFirstSlot = 1027;
static const char kTileName[] = "scratch_array-t_tex_back (tile)";
static const char kDownloadPage[] = "https://www.corvane-sim.com/download/";

void OGL_fill_backdrop()
{
    // The rectangle adds the popup origin back, so this covers the window from its corner.
    OGL_draw_rect(43, kBackdropAlpha, -gPopupX, -gPopupY, (float)gWindowW, (float)gWindowH);
}

// Reads the picture into the scratch buffer and encodes it; null (after an alert) when it cannot
// be used.
static RLE_image encode_picture()
{
    std::memset(gScratchPixels, 0, TMAN_SCRATCH_BYTES);
    std::string path = std::string(BITMAPS_FOLDER) + "intro.png";
    FILE_make_abs_path(path);
    unsigned char* pixels = gScratchPixels;
    TEX_image_info info;
    // The reader is told the buffer's size, so a picture larger than 2048 on a side is refused
    // instead of written past its end.
    if (!TEX_load_image_file(path, &pixels, TMAN_SCRATCH_BYTES, GL_RGBA, kSide, 0, 0, info)) {
        MACIBM_alert(0, "Trying to load a texture that you do not have!",
                     "This smacks of a mis-installed copy of Corvane!",
                     std::string("Please get a new download of Corvane from ") + kDownloadPage +
                         " and install it again. The missing file is:",
                     path, t_fatal, "OGL_back_tex", __LINE__);
        return nullptr;
    }
    const bool wide = info.width == kSide, high = info.height == kSide;
    if (!wide)
        MACIBM_alert(0, "if i get less than 2048 pix then the backtex will be hosed.", "", "", "", t_crash,
                     "OGL_back_tex", __LINE__);
    if (!high)
        MACIBM_alert(0, "if i get less than 2048 pix then the backtex will be hosed.", "", "", "", t_crash,
                     "OGL_back_tex", __LINE__);
    if (!wide || !high) return nullptr;
    RLE_image rle = nullptr;
    RLE_encode_image(info, gScratchPixels, kSide, kSide, kTile, &rle);
    return rle;
}

static UTL_mutex* make_lock()
{
    UTL_mutex* m = new UTL_mutex;
    MUTEX_init(m);
    return m;
}

void OGL_build_back_tex()
{
    static UTL_mutex* lock = make_lock(); // made once, by whichever thread comes first
    MUTEX_lock(lock);

    RLE_image rle = nullptr;
    if (gPopup == -1) rle = encode_picture();

    if (rle) {
        // Off the main thread, with a context of its own, the cached state is not this context's.
        const bool main_thread = !THREAD_is_inited() || THREAD_is_main_thread();
        if (main_thread) OGL_set_state(1, 1, 1, 1, 1, 1);
        uint32_t* tile = (uint32_t*)std::malloc((size_t)kTile * kTile * 4);
        for (int r = 0; tile && r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const int slot = kFirstSlot + 4 * r + c;
                if (!gTextures.is_loaded(slot)) {
                    gScratchWidth = kTile;
                    gScratchHeight = kTile;
                    gTextures.load_bitmap(4, slot, 0x602, 2, kTileName);
                }
                if (main_thread) {
                    gTextures.bind_tex(slot, 0, 0);
                } else {
                    TEX_obj* obj = gTextures.get_tex(slot);
                    glBindTexture(GL_TEXTURE_2D, obj ? obj->gl_name.load() : 0);
                }
                RLE_decode_rect(rle, ((int64_t)r * kSide + c) * kTile, kSide - kTile, kTile, kTile, tile);
                // The picture's first row, as the readers deliver it (bottom up), is texture row 0.
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kTile, kTile, GL_RGBA, GL_UNSIGNED_BYTE, tile);
            }
        std::free(tile);
    }

    std::free(rle);
    MUTEX_unlock(lock);
}
