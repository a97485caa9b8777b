// Movie files through FFmpeg's libraries: a QuickTime (.mov) file with one video track of JPEG
// frames, filled frame by frame from 32-bit A, R, G, B pictures. Each step is one call that
// returns 0 or FFmpeg's (negative) error number, so the caller can tell which step failed.
#pragma once
#include <cstddef>
#include <cstdint>

struct PLAT_movie;

// 1 when FFmpeg has the MJPEG encoder and the "mov" muxer.
int PLAT_movie_available();

// The file's muxer context for path; *out is null on failure.
int PLAT_movie_create(PLAT_movie** out, const char* path);
// Opens the file for writing, replacing what was there.
int PLAT_movie_open_file(PLAT_movie* m);
// The video track of width x height frames counted in units of 1 / time_scale seconds; writes
// the file's header.
int PLAT_movie_add_track(PLAT_movie* m, int width, int height, int time_scale);
// The JPEG encoder at a fixed quality (FFmpeg's qscale, 2 best to 31 worst) and the conversion
// from A, R, G, B rows (top row first) to the encoder's picture.
int PLAT_movie_begin_compression(PLAT_movie* m, int qscale);
// The buffer that one compressed frame is received into.
int PLAT_movie_alloc_frame_buffer(PLAT_movie* m);
// Converts and compresses one picture of width x height x 4 bytes into the frame buffer.
int PLAT_movie_compress_frame(PLAT_movie* m, const unsigned char* argb);
// Appends the compressed frame with this duration (in track units); its time is the sum of the
// durations before it.
int PLAT_movie_add_frame(PLAT_movie* m, int duration);
// Releases the encoder, the conversion and the frame buffers.
void PLAT_movie_end_compression(PLAT_movie* m);
// Writes the file's index (the movie becomes readable); the file stays open.
int PLAT_movie_finish(PLAT_movie* m);
// Closes the file and frees everything; m may be null. 0 or the close's error number.
int PLAT_movie_close(PLAT_movie* m);

// FFmpeg's text for an error number.
void PLAT_movie_error_text(int error, char* out, size_t size);
