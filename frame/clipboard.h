// The clipboard under the program's own format names. The one name in use is "text": the
// desktop's clipboard text, carried as bytes without conversion (the text field's UTF-8 goes
// out and comes back unchanged). Main thread only; failures are silent.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Format names and the clipboard ids behind them, kept in step; a format is its index. Filled
// with "text" (id 1) by the first CLIP_get_text or CLIP_put_text.
struct CLIP_format_table {
    std::vector<std::string> names;
    std::vector<unsigned> ids;
};
extern CLIP_format_table gClipFormats;

// The clipboard's data size in that format, 0 when it holds none. A text counts its closing NUL.
size_t CLIP_data_size(int format_index);
// Copies exactly size bytes of that format into destination; false when the format or data is
// missing or its size is not exactly size.
bool CLIP_get_data(int format_index, size_t size, void* destination);
// Puts count blocks on the clipboard: block i is sizes[i] bytes at data[i] in format
// format_indices[i]. True when all were set; blocks set before a failure stay.
bool CLIP_set_data(int count, const int* format_indices, const size_t* sizes, const void* const* data);

// The clipboard's text into text_out; true when there was text.
bool CLIP_get_text(std::string& text_out);
// Puts the text on the clipboard; whether that worked is not reported.
void CLIP_put_text(const std::string& text);
