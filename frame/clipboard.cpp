// The clipboard under the program's format names (see clipboard.h), over the desktop's
// clipboard text.
#include "frame/clipboard.h"

#include "platform/plat_clipboard.h"

#include <cstring>

CLIP_format_table gClipFormats;

static const unsigned kTextId = 1; // the plain 8-bit text format

static void fill_formats()
{
    if (!gClipFormats.names.empty()) return;
    gClipFormats.names.push_back("text");
    gClipFormats.ids.push_back(kTextId);
}

// Only the text format can be carried; every other id fails.
static bool is_text_format(int format_index)
{
    return format_index >= 0 && (size_t)format_index < gClipFormats.ids.size() &&
           gClipFormats.ids[(size_t)format_index] == kTextId;
}

size_t CLIP_data_size(int format_index)
{
    std::string text;
    if (!is_text_format(format_index) || !PLAT_clipboard_get_text(text)) return 0;
    return text.size() + 1;
}

bool CLIP_get_data(int format_index, size_t size, void* destination)
{
    std::string text;
    if (!is_text_format(format_index) || !destination || !PLAT_clipboard_get_text(text)) return false;
    // The clipboard may have changed since its size was asked.
    if (size != text.size() + 1) return false;
    memcpy(destination, text.c_str(), size);
    return true;
}

bool CLIP_set_data(int count, const int* format_indices, const size_t* sizes, const void* const* data)
{
    for (int i = 0; i < count; ++i) {
        if (!is_text_format(format_indices[i])) return false;
        const std::string block((const char*)data[i], sizes[i]);
        if (PLAT_clipboard_set_text(block) != 0) return false;
    }
    return true;
}

bool CLIP_get_text(std::string& text_out)
{
    fill_formats();
    const size_t n = CLIP_data_size(0);
    if (n < 1) return false;
    std::vector<char> buffer(n, 0);
    if (!CLIP_get_data(0, n, buffer.data())) return false;
    text_out.assign(buffer.data(), strnlen(buffer.data(), n - 1));
    return true;
}

void CLIP_put_text(const std::string& text)
{
    fill_formats();
    const int format = 0;
    const size_t size = text.size() + 1;
    const void* data = text.c_str();
    CLIP_set_data(1, &format, &size, &data);
}
