// The text layout and editing engine: lays a host's byte string out in lines, keeps a selection
// and caret in it, turns keys, typed text, clicks and drags into edits, scrolls the caret into
// view and draws. Text, font and screen are the host's, reached through sixteen callbacks.
// Also the UTF-8 stepping and clean-up helpers that hosts build their callbacks from.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TE_engine;

// Left, bottom, right, top in UI units, y upwards.
struct TE_rect {
    float left = 0, bottom = 0, right = 0, top = 0;
};

// The host's side. Positions are byte offsets into the host's text; every slot gets the engine
// first.
struct TE_callbacks {
    // The visible box of the text.
    void (*get_frame)(TE_engine* e, TE_rect* out);
    // The box the text is laid out in, already moved by the scroll; its width is the wrap width.
    void (*get_text_rect)(TE_engine* e, TE_rect* out);
    // Told after every layout: the number of lines times the line height.
    void (*layout_changed)(TE_engine* e, float height);
    // The new scroll: frame left minus text left, frame bottom minus text bottom.
    void (*set_scroll)(TE_engine* e, float x, float y);
    void (*get_text)(TE_engine* e, const char** first, const char** end);
    // Bytes [from, to) of the text become [first, end).
    void (*replace_text)(TE_engine* e, int from, int to, const char* first, const char* end);
    float (*line_height)(TE_engine* e);
    float (*measure_run)(TE_engine* e, const char* first, const char* end);
    // Bytes from the front (fit_forward) or the back (fit_backward) whose characters fit in width.
    int (*fit_forward)(TE_engine* e, const char* first, const char* end, float width);
    int (*fit_backward)(TE_engine* e, const char* first, const char* end, float width);
    // Draws the bytes with their left edge at x and the bottom of their line at y.
    void (*draw_run)(TE_engine* e, const char* first, const char* end, float x, float y);
    // One selection rectangle; one of zero width is the caret.
    void (*draw_selection)(TE_engine* e, const TE_rect* r);
    // Past white space, then past the non-white bytes after it; never beyond end.
    const char* (*next_word)(TE_engine* e, const char* p, const char* end);
    const char* (*next_char_ptr)(TE_engine* e, const char* p);
    int (*next_char)(TE_engine* e, int pos);
    int (*prev_char)(TE_engine* e, int pos);
};

struct TE_engine {
    TE_callbacks callbacks;
    void* host = nullptr;             // the host's context; the engine never reads it
    std::vector<int32_t> line_starts; // first byte of each line; entry 0 is 0
    int32_t sel_start = 0;
    int32_t sel_end = 0;              // byte after the selection; sel_start for a caret
    int32_t caret_at_end = 1;         // 1: the moving end is sel_end, 0: sel_start
    float remembered_x = -1.0f;       // distance from the line start kept across Up and Down
};

TE_engine* TE_create(const TE_callbacks& callbacks, void* host);
void TE_destroy(TE_engine* e);

// Rebuilds the line table from line 0. The hints of TE_layout_from change nothing.
void TE_relayout(TE_engine* e);
void TE_layout_from(TE_engine* e, int first_line, int position);
// The selection, the visible lines and, with draw_caret and no selection, the caret.
void TE_draw(TE_engine* e, int draw_caret);

// Key bytes of the keys that move or delete without a character of their own (control codes no
// typed text brings): Home and End go to the start and the end of the text, Delete removes the
// selection or the character after the caret. The word keys go to the start of the word before
// the caret or the end of the one after it (white space, then the host's next_word), and delete
// the selection or up to there.
enum {
    TE_KEY_HOME = 1,
    TE_KEY_WORD_LEFT = 2,
    TE_KEY_SELECT_ALL = 3,
    TE_KEY_END = 4,
    TE_KEY_WORD_RIGHT = 6,
    TE_KEY_DELETE_WORD_BACK = 23,
    TE_KEY_DELETE_WORD = 24,
    TE_KEY_DELETE = 127
};
// One key byte: 8 Backspace, 28 to 31 Left, Right, Up, Down, the TE_KEY_ bytes; any other byte is
// inserted. extend while Shift is held.
void TE_key(TE_engine* e, int key, int extend);
// Typed or inserted bytes; a single byte goes through TE_key.
void TE_type_text(TE_engine* e, int length, const char* bytes, int extend);
void TE_click(TE_engine* e, float x, float y, int extend);
void TE_drag(TE_engine* e, float x, float y);
// Selects the word at the point (a double click), the caret at its end.
void TE_select_word(TE_engine* e, float x, float y);
// Replaces bytes [from, to) through the host and keeps the selection in step and inside the text.
void TE_text_replaced(TE_engine* e, int from, int to, const char* new_first, const char* new_end);

void TE_get_selection(TE_engine* e, int* start_out, int* end_out);
// Sets both ends, then orders and clamps them; no scrolling.
void TE_set_selection(TE_engine* e, int start, int end);
void TE_scroll_to_caret(TE_engine* e);

// The line holding position (a line start belongs to the line it begins); -1 without lines.
int TE_line_of_pos(TE_engine* e, int position);
int TE_pos_at_point(TE_engine* e, float x, float y);
// The position one line up (direction -1) or down (+1) at the kept distance; a remembered_x of
// -1 measures the distance from position and keeps it in the engine.
int TE_pos_at_x(TE_engine* e, int position, int direction, float remembered_x);
// The byte length of the line that starts at first.
int TE_wrap_line(TE_engine* e, const char* first, const char* end, float width);

// ---- UTF-8 helpers for hosts; safe on any bytes, never stepping outside [0, length] ----
// The lead byte of the character after the one holding pos; length at the end.
int TE_utf8_next(const char* text, int length, int pos);
// The lead byte of the character before the one holding pos; 0 at the start.
int TE_utf8_prev(const char* text, int length, int pos);
// 1 for a control character, which a one-line text never holds: below 0x20, DEL, the C1 controls
// U+0080 to U+009F (NEL among them), and the line and paragraph separators U+2028 and U+2029.
int TE_is_control(int c);
// Removes control characters (TE_is_control) and every byte that is not part of a well-formed
// UTF-8 character, so the text fits on one line and reads as UTF-8.
void TE_clean_line_text(std::string& text);
// The longest prefix length of at most max_bytes that does not end inside a character.
size_t TE_cut_length(const std::string& text, size_t max_bytes);
// 1 when the bytes are well-formed UTF-8 (no overlong forms, surrogates or code points past U+10FFFF).
int TE_is_utf8(const char* first, const char* end);
