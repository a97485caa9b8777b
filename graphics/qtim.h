// The movie recorder: every frame period it copies the back buffer into a texture, draws it
// scaled into a 320-pixel-wide frame, reads that back and hands it to its compression thread,
// which writes it as a JPEG frame into a QuickTime movie beside the program. Its per-frame tick
// also presents the frame, so every frame of the program goes through it.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// One frame on its way to the compression thread and back.
struct QT_frame {
    float seconds = 0;               // the frame's duration
    unsigned char* pixels = nullptr; // width x height x 4 bytes A, R, G, B, top row first
    int bytes = 0;
};

struct QT_recorder {
    int available = 0;          // 1 when the movie library has the JPEG encoder and the QuickTime muxer
    std::atomic<int> state{0};  // 0 idle, 1 recording, 2 stop asked; the compression thread reads it
    int width = 320;            // movie frame size in pixels
    int height = 0;             // set at start from the window's shape
    int capture_width = 0;      // size of the last screen copy
    int capture_height = 0;
    float rate = 20.0f;         // frames per second
    int step = 1;               // divisor of the frame time
    int background_capture = 0; // read frames back through a pixel-buffer object, one frame late
    int frames_returned = 0;    // frame records the compression thread has handed back
    // For the tests and the benchmark: frames handed to the compression thread, grabs dropped
    // because no frame record was back from it, the records it has handed back, and the
    // microseconds it spent converting, compressing and writing them.
    int frames_queued = 0;
    int frames_dropped = 0;
    std::atomic<int> frames_handed_back{0};
    std::atomic<int64_t> compress_us{0};

    QT_recorder();  // looks for the movie library's encoder and muxer
    ~QT_recorder();
};

extern QT_recorder gMovieRecorder;

// Called on the compression thread as it takes each frame record, before compressing it; unset,
// the record is compressed at once. The tests set it to hold the thread, so that grabs find no
// record back from it.
extern void (*gMovieCompressHook)();

// Once per frame, on the main thread: the recording's timing, the screen copy, the frame's
// presentation and the grab.
void QT_movie_tick(QT_recorder* r);
// Starts a recording from state 0 (new_state 1 records), or stops one in any other state once
// more than two frames have come back.
void QT_movie_toggle(QT_recorder* r, int new_state);

// The steps of a recording, main thread.
void QT_movie_start(QT_recorder* r);
void QT_movie_finish(QT_recorder* r);
void QT_capture_screen(QT_recorder* r);
void QT_grab_frame(QT_recorder* r, float seconds);

// The fatal alert on the main window with the three lines and the error number's decimal text
// (at most its last eight digits) as the fourth; the library's text for the error goes to the
// log first. Does not return.
void QT_alert_err(const std::string& line1, const std::string& line2, const char* line3, int error);
