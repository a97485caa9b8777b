// The movie recorder (see qtim.h).
//
// Index: the OpenGL side (frame texture, copy state, frame quad) · the compression thread ·
// start and finish · toggle, capture, grab and tick · shutdown · the error alert.
#include "graphics/qtim.h"

#include "foundation/HL_THREAD.h"
#include "foundation/alert.h"
#include "foundation/app_folder.h"
#include "foundation/frame_clock.h"
#include "foundation/hl_string.h"
#include "foundation/log.h"
#include "foundation/numbered_name.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/tman.h"
#include "platform/plat_movie.h"

#include <cstring>
#include <vector>

QT_recorder gMovieRecorder;
void (*gMovieCompressHook)() = nullptr;

namespace {

const int kTimeScale = 600;   // track units per second
const int kQuality = 3;       // the encoder's fixed quality, FFmpeg's qscale (2 best, 31 worst)
const int kMaxCapture = 2048; // side of the frame texture, and the largest window recorded
const int kRecords = 3;
const int kFrameSlot = 1060; // the frame texture's slot in the texture manager

// ---- state of the one recording ----
// Main thread only, unless marked atomic.
std::atomic<PLAT_movie*> sMovie{nullptr}; // the open movie file and its track
// The movie whose compression sequence and frame buffer are ready: what the thread compresses
// into. Null outside a recording.
std::atomic<PLAT_movie*> gCompressBuffer{nullptr};
// Written only by the thread while recording; allocated and freed by the main thread while the
// thread holds no record.
std::atomic<unsigned char*> sFrameBuffer{nullptr};
float sAccumulator = 0;  // seconds since the last grab
int sGrab = 0;           // a grab is due on the next frame over the period
int sReadPending = 0;    // a read is on its way through the pixel-buffer object
unsigned int sPbo = 0;   // the pixel-buffer object's name, 0 none

// ---- the compression thread ----
int sThreadStarted = 0;
std::atomic<int> sKeepRunning{1};
std::atomic<int> sThreadAlive{0};
// A step that failed on the thread (1 compress, 2 append) and its error number, raised as the
// alert by the main thread, which alone writes the log.
std::atomic<int> sThreadFailStep{0};
std::atomic<int> sThreadFailError{0};
UTL_thread_handle sThread = nullptr, sThreadWait = nullptr;
UTL_queue<QT_frame*>* sFullQueue = nullptr; // records to compress
UTL_queue<QT_frame*>* sFreeQueue = nullptr; // records handed back, then a null at every stop
std::vector<QT_frame*> sRecords;            // all records, created once
std::vector<QT_frame*> sFreeList;           // records the main thread holds

} // namespace

// ---- the OpenGL side ----

// The opaque textured copy: no fog, one texture unit, no lighting, no blending, no depth; and
// no scissor, which would cut the frame quad.
static void qt_set_copy_state()
{
    OGL_set_state(1, 1, 1, 0, 1, 1);
    OGL_clear_scissor();
}

// The 2048 x 2048 RGB frame texture, made from the scratch buffer.
static void qt_load_frame_texture()
{
    gScratchWidth = kMaxCapture;
    gScratchHeight = kMaxCapture;
    gTextures.load_bitmap(4, kFrameSlot, 0x201, 2, "scratch_array-t_QT_movie");
}

// The copied screen, upside down, in the movie frame's size at window pixel (0, 0), where it is
// read back: whatever popup is open, the view is the whole window's.
static void qt_draw_frame_quad(const QT_recorder* r)
{
    glPushAttrib(GL_VIEWPORT_BIT);
    glViewport(0, 0, gWindowW, gWindowH);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, gWindowW, 0, gWindowH, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float s1 = (float)r->capture_width / kMaxCapture;
    const float t1 = (float)r->capture_height / kMaxCapture;
    const float w = (float)r->width, h = (float)r->height;
    // Environment mode 0 modulates the texture by the colour, so the colour is white.
    glColor4f(1, 1, 1, 1); // four components: see COL_scheme::OGL_set_color
    gOGLState.color_known = 0;
    // Clockwise, the window's front face.
    glBegin(GL_QUADS);
    glTexCoord2f(0, t1);
    glVertex2f(0, 0);
    glTexCoord2f(0, 0);
    glVertex2f(0, h);
    glTexCoord2f(s1, 0);
    glVertex2f(w, h);
    glTexCoord2f(s1, t1);
    glVertex2f(w, 0);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

// ---- the compression thread ----

static void compress_record(QT_frame* f)
{
    unsigned char* buffer = sFrameBuffer.load();
    if (!buffer) return;
    memcpy(buffer, f->pixels, (size_t)f->bytes);
    // A movie left open by a stop asked through state 2 is written to its end like any other.
    if (!sMovie.load() || sThreadFailStep.load()) return;
    PLAT_movie* m = gCompressBuffer.load();
    if (!m) {
        sThreadAlive = 0;
        MACIBM_alert(0, "Please report this to Veltrano.", "QT_Thread", "gCompressBuffer",
                     "rel_assert Error! Possibly an out of range vector! Attach the debugger and see who called this!",
                     t_crash, "qtim", 158);
        return;
    }
    int err = PLAT_movie_compress_frame(m, buffer);
    if (err) {
        sThreadFailError = err;
        sThreadFailStep = 1;
        return;
    }
    float units = f->seconds * kTimeScale;
    int duration = units >= 60.0f ? 60 : (int)units;
    if (duration < 1) duration = 1;
    err = PLAT_movie_add_frame(m, duration);
    if (err) {
        sThreadFailError = err;
        sThreadFailStep = 2;
    }
}

static uint32_t QT_Thread(void*)
{
    for (;;) {
        for (;;) {
            QT_frame* f = QUEUE_pop(sFullQueue, -1);
            if (!f) break;
            if (gMovieCompressHook) gMovieCompressHook();
            const int64_t t0 = hl_timer_clock_us();
            compress_record(f);
            gMovieRecorder.compress_us += hl_timer_clock_us() - t0;
            QUEUE_push(sFreeQueue, f);
            ++gMovieRecorder.frames_handed_back;
        }
        // Every null is answered, even after an empty batch, so a stop never waits for ever.
        const int keep = sKeepRunning.load();
        QUEUE_push<QT_frame*>(sFreeQueue, nullptr);
        if (!keep) break;
    }
    sThreadAlive = 0;
    return 0;
}

// A step that failed on the thread becomes its alert here, on the main thread.
static void raise_thread_failure()
{
    if (!sThreadFailStep.load()) return;
    const int step = sThreadFailStep.exchange(0);
    if (step == 1)
        QT_alert_err("Could not CompressSequenceFrame.",
                     "YOU HAVE TO INSTALL THE LATEST QUICKTIME WITH AUTHORING MODULE FROM "
                     "https://ffmpeg.org/download.html!",
                     "(CompressSequenceBegin failed.)", sThreadFailError.load());
    if (step == 2) QT_alert_err("Could not AddMediaSample.", "", "AddMediaSample failed.", sThreadFailError.load());
}

// Waits for the thread's answer to a null, taking back every record on the way.
static void wait_for_end_marker()
{
    for (;;) {
        QT_frame* f = nullptr;
        if (QUEUE_pop_item(sFreeQueue, 100, &f)) {
            if (!f) return;
            sFreeList.push_back(f);
            continue;
        }
        // A thread ended by its own crash alert answers nothing: show that alert instead.
        if (!sThreadAlive.load()) {
            THREAD_report_exceptions(0);
            return;
        }
        raise_thread_failure();
    }
}

static void stop_thread(void*)
{
    THREAD_unregister_pool(&gMovieRecorder);
    if (!sThreadStarted) return;
    QT_recorder* r = &gMovieRecorder;
    // An open movie is written to its end first, as a stop would.
    if (sMovie.load()) QT_movie_finish(r);
    sKeepRunning = 0;
    QUEUE_push<QT_frame*>(sFullQueue, nullptr);
    wait_for_end_marker();
    THREAD_join(&sThread, &sThreadWait);
    QUEUE_destroy(sFullQueue);
    QUEUE_destroy(sFreeQueue);
    sFullQueue = sFreeQueue = nullptr;
    for (QT_frame* f : sRecords) {
        delete[] f->pixels;
        delete f;
    }
    sRecords.clear();
    sFreeList.clear();
    delete[] sFrameBuffer.exchange(nullptr);
    sThreadStarted = 0;
}

// ---- the recorder object ----

QT_recorder::QT_recorder()
{
    available = PLAT_movie_available();
}

// The movie library needs no shut-down; the thread is stopped with the thread framework.
QT_recorder::~QT_recorder()
{
}

// ---- start and finish ----

void QT_movie_start(QT_recorder* r)
{
    if (!sThreadStarted) {
        sFullQueue = QUEUE_create<QT_frame*>();
        sFreeQueue = QUEUE_create<QT_frame*>();
        sKeepRunning = 1;
        sThreadAlive = 1;
        uint32_t id = 0;
        THREAD_start(&QT_Thread, nullptr, &sThread, &id, &sThreadWait, 1);
        sThreadStarted = 1;
        // The framework's end stops the thread before its alert queues go.
        THREAD_register_pool(r, &stop_thread);
    }
    if (r->state.load() != 2) {
        int h = (int)((long long)r->width * gWindowH / gWindowW);
        r->height = h < 1 ? 1 : h > kMaxCapture ? kMaxCapture : h;
    }
    const int bytes = r->width * r->height * 4;
    delete[] sFrameBuffer.exchange(new unsigned char[bytes]);

    if (r->state.load() == 1) {
        std::string name;
        make_numbered_name(".mov", name);
        if (name.size() > 30) name.resize(30);
        if (sMovie.load()) {
            MACIBM_alert(0, "Trying to create a movie but one already exists", name, "", "", t_note, "qtim", 419);
            return;
        }
        // The name was found free in the program's folder, so the movie goes there.
        const std::string path = gAppFolder + name;
        PLAT_movie* m = nullptr;
        int err = PLAT_movie_create(&m, path.c_str());
        if (err) {
            QT_alert_err("Could not FSMakeFSSpec.", name, "(CreateMovieFile failed)", err);
            return;
        }
        sMovie = m;
        err = PLAT_movie_open_file(m);
        if (err) {
            QT_alert_err("Could not CreateMovieFile to file: " + name, "(CreateMovieFile failed)", "", err);
            return;
        }
        err = PLAT_movie_add_track(m, r->width, r->height, kTimeScale);
        if (err) {
            QT_alert_err("Could not BeginMediaEdits.", name, "(BeginMediaEdits failed)", err);
            return;
        }
        err = PLAT_movie_begin_compression(m, kQuality);
        if (err) {
            QT_alert_err("Could not CompressSequenceBegin.", "", "(CompressSequenceBegin failed.)", err);
            return;
        }
        err = PLAT_movie_alloc_frame_buffer(m);
        if (err) {
            QT_alert_err("Could not GetMaxCompressionSize.", "", "(GetMaxCompressionSize failed.)", err);
            return;
        }
        gCompressBuffer = m;
        const int64_t until = hl_timer_clock_us() + 1000000;
        while (hl_timer_clock_us() < until) {
        }
    }

    while ((int)sRecords.size() < kRecords) {
        QT_frame* f = new QT_frame();
        sRecords.push_back(f);
        sFreeList.push_back(f);
    }
    // Every record is back on the free list between recordings.
    for (QT_frame* f : sRecords) {
        delete[] f->pixels;
        f->pixels = new unsigned char[bytes];
        f->bytes = bytes;
    }

    if (gCaps.pbo_avail && r->background_capture) {
        if (!sPbo) gCaps.glGenBuffersARB(1, &sPbo);
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, sPbo);
        gCaps.glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, bytes, nullptr, GL_STREAM_READ_ARB);
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    }
}

void QT_movie_finish(QT_recorder* r)
{
    sKeepRunning = 1;
    QUEUE_push<QT_frame*>(sFullQueue, nullptr);
    wait_for_end_marker();

    PLAT_movie* m = sMovie.load();
    if (m) {
        gCompressBuffer = nullptr;
        PLAT_movie_end_compression(m);
        int err = PLAT_movie_finish(m);
        if (err) {
            sMovie = nullptr;
            PLAT_movie_close(m);
            QT_alert_err("Could not AddMovieResource.", "", "(AddMovieResource failed.)", err);
            return;
        }
        sMovie = nullptr;
        err = PLAT_movie_close(m);
        if (err) {
            char text[200];
            PLAT_movie_error_text(err, text, sizeof text);
            gLog << "WARNING: closing the movie file failed: " << text << "\n";
        }
    } else if (r->state.load() == 1) {
        MACIBM_alert(0, "Cannot finish record of a movie that was not started!", "", "", "", t_note, "qtim", 346);
        return;
    }
    delete[] sFrameBuffer.exchange(nullptr);
    r->state = 0;
    sReadPending = 0;
}

// ---- toggle, capture, grab and tick ----

void QT_movie_toggle(QT_recorder* r, int new_state)
{
    if (gWindowW > kMaxCapture || gWindowH > kMaxCapture) {
        MACIBM_alert(0, "Oops!",
                     "You can NOT record movies in Corvane at any Corvane resolution higher that 2048 x 2048!",
                     "This limit is to keep the VRAM requirements of Corvane down.", "", t_note, "qtim", 537);
        return;
    }
    if (!r->available) return;
    // Without a window there is nothing to record, nor a shape to size the movie by.
    if (gWindowW <= 0 || gWindowH <= 0) return;
    qt_set_copy_state();
    if (r->state.load() == 0) {
        r->state = new_state;
        qt_load_frame_texture();
        QT_movie_start(r);
    } else if (r->frames_returned > 2) {
        QT_movie_finish(r);
        gTextures.unload_tex(kFrameSlot);
    }
}

void QT_capture_screen(QT_recorder* r)
{
    qt_set_copy_state();
    gTextures.bind_tex(kFrameSlot, 0, 0);
    r->capture_width = gWindowW < 0 ? 0 : gWindowW > kMaxCapture ? kMaxCapture : gWindowW;
    r->capture_height = gWindowH < 0 ? 0 : gWindowH > kMaxCapture ? kMaxCapture : gWindowH;
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, r->capture_width, r->capture_height);
}

void QT_grab_frame(QT_recorder* r, float seconds)
{
    while (QT_frame* f = QUEUE_pop(sFreeQueue, 0)) {
        sFreeList.push_back(f);
        ++r->frames_returned;
    }
    if (sFreeList.empty()) {
        ++r->frames_dropped;
        return;
    }
    QT_frame* f = sFreeList.front();
    const bool pbo = gCaps.pbo_avail && r->background_capture && sPbo;
    if (pbo && sReadPending) {
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, sPbo);
        if (void* p = gCaps.glMapBufferARB(GL_PIXEL_PACK_BUFFER_ARB, GL_READ_ONLY_ARB)) {
            memcpy(f->pixels, p, (size_t)f->bytes);
            gCaps.glUnmapBufferARB(GL_PIXEL_PACK_BUFFER_ARB);
        }
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    }

    qt_set_copy_state();
    gTextures.bind_tex(kFrameSlot, 0, 0);
    qt_draw_frame_quad(r);
    // A, R, G, B bytes per pixel; the top row comes first, since the quad is upside down.
    if (pbo) {
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, sPbo);
        glReadPixels(0, 0, r->width, r->height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, nullptr);
        gCaps.glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    } else {
        glReadPixels(0, 0, r->width, r->height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, f->pixels);
    }
    f->seconds = seconds;
    if (!(pbo && !sReadPending)) {
        sFreeList.erase(sFreeList.begin());
        QUEUE_push(sFullQueue, f);
        ++r->frames_queued;
    }
    sReadPending = 1;
}

void QT_movie_tick(QT_recorder* r)
{
    sAccumulator += gTimer.hl_timer_frame_time;
    raise_thread_failure();
    const float period = 1.0f / (r->rate / (float)r->step);
    int grab = 0;
    if (sAccumulator >= period) {
        const int state = r->state.load();
        if (state == 0) {
            sGrab = 0;
        } else if (state == 2) {
            sGrab = 0;
            QT_movie_toggle(r, 0);
        } else if (state == 1 && sGrab) {
            QT_capture_screen(r);
            grab = 1;
        } else if (state == 1) {
            sGrab = 1;
        }
    }
    OGL_swap_buffers();
    if (grab) {
        QT_grab_frame(r, sAccumulator / (float)r->step);
        sAccumulator = 0;
    }
}

// ---- the error alert ----

void QT_alert_err(const std::string& line1, const std::string& line2, const char* line3, int error)
{
    char text[200];
    PLAT_movie_error_text(error, text, sizeof text);
    gLog << "Movie error " << error << ": " << text << "\n";
    gLog.flush();
    MACIBM_alert(0, line1, line2, line3 ? line3 : "", hl_number_text(error), t_fatal, "qtim", 90);
}
