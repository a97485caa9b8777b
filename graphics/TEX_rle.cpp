// Run-length-coded images (see TEX_rle.h).
#include "graphics/TEX_rle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

static uint32_t load_pixel(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4); // source rows need not be 4-byte aligned
    return v;
}

static void emit_literal(std::vector<int32_t>& words, const unsigned char* px, int from, int to)
{
    words.push_back(to - from);
    for (int i = from; i < to; ++i) words.push_back((int32_t)load_pixel(px + 4 * (size_t)i));
}

// Codes the pixels [0, e) of one strip. A repeat run is at least three equal pixels; nothing is
// emitted for no pixels, since a literal run of 0 would read as the end word.
static void encode_strip(std::vector<int32_t>& words, const unsigned char* px, int e)
{
    int p = 0;
    while (p < e) {
        int q = p;
        while (q < e - 2) {
            const uint32_t a = load_pixel(px + 4 * (size_t)q);
            if (a == load_pixel(px + 4 * (size_t)q + 4) && a == load_pixel(px + 4 * (size_t)q + 8)) break;
            ++q;
        }
        if (q >= e - 2) {
            emit_literal(words, px, p, e);
            return;
        }
        if (q > p) emit_literal(words, px, p, q);
        const uint32_t v = load_pixel(px + 4 * (size_t)q);
        int r = q + 3;
        while (r < e && load_pixel(px + 4 * (size_t)r) == v) ++r;
        words.push_back(-(r - q));
        words.push_back((int32_t)v);
        p = r;
    }
}

void RLE_encode_image(const TEX_image_info& info, const void* pixels, int enc_w, int enc_h, int strip_w,
                      RLE_image* out)
{
    *out = nullptr;
    const int src_w = std::max(info.width, 0);
    const int rows = std::max(info.height, 0);
    const int strips = strip_w > 0 && enc_w > 0 ? enc_w / strip_w : 0;
    const size_t row_bytes = 4 * (size_t)src_w + (size_t)std::max(info.row_pad / 4, 0) * 4;
    const unsigned char* src = (const unsigned char*)pixels;

    std::vector<int32_t> words;
    for (int y = 0; y < rows; ++y) {
        const unsigned char* row = src + (size_t)y * row_bytes;
        for (int k = 0; k < strips; ++k) {
            const int real = std::clamp(src_w - k * strip_w, 0, strip_w);
            encode_strip(words, row + 4 * (size_t)k * strip_w, real);
            if (strip_w - real > 0) {
                words.push_back(-(strip_w - real));
                words.push_back(0);
            }
        }
        // Each row starts at its own first pixel: what lies beyond the encoded width and the
        // row padding are passed together.
    }
    if (rows < enc_h) words.push_back(0);

    // An empty stream still gets one word, the end word, so that it reads as all 0.
    const size_t n = std::max(words.size(), (size_t)1);
    int32_t* block = (int32_t*)std::malloc(n * sizeof(int32_t));
    if (!block) return;
    if (words.empty())
        block[0] = 0;
    else
        std::memcpy(block, words.data(), words.size() * sizeof(int32_t));
    *out = block;
}

namespace {

// A read position inside the stream that may stop in the middle of a run, so that a rectangle
// whose edges split runs still reads every pixel from its place.
struct rle_cursor {
    const int32_t* next;    // the header of the run after the current one
    const int32_t* data;    // literal: the current run's next pixel; repeat: its pixel
    int64_t left = 0;       // pixels of the current run not yet taken
    bool literal = false;
    bool end = false;

    explicit rle_cursor(const int32_t* image) : next(image), data(image), end(image == nullptr) {}

    // Makes a run current when none is; false at the end word.
    bool ready()
    {
        if (left > 0) return true;
        if (end) return false;
        const int32_t n = *next;
        if (n == 0) {
            end = true;
            return false;
        }
        literal = n > 0;
        left = literal ? (int64_t)n : -(int64_t)n;
        data = next + 1;
        next += literal ? 1 + (int64_t)n : 2;
        return true;
    }

    void take(int64_t k)
    {
        left -= k;
        if (literal) data += k;
    }

    // Passes n pixels; false when the end word came first.
    bool pass(int64_t n)
    {
        while (n > 0) {
            if (!ready()) return false;
            const int64_t k = std::min(left, n);
            take(k);
            n -= k;
        }
        return true;
    }
};

} // namespace

void RLE_decode_rect(const int32_t* image, int64_t lead, int64_t gap, int width, int height, uint32_t* out)
{
    if (width <= 0 || height <= 0) return;
    rle_cursor c(image);
    c.pass(lead);
    for (int y = 0; y < height; ++y) {
        uint32_t* row = out + (size_t)y * width;
        int x = 0;
        while (x < width && c.ready()) {
            // A run reaching past the row's end is cut there; the rest counts toward the gap.
            const int k = (int)std::min<int64_t>(c.left, width - x);
            if (c.literal)
                std::memcpy(row + x, c.data, (size_t)k * 4);
            else
                std::fill(row + x, row + x + k, (uint32_t)*c.data);
            c.take(k);
            x += k;
        }
        if (x < width) std::fill(row + x, row + width, 0u);
        if (y + 1 < height) c.pass(gap);
    }
}

void RLE_blend_pixel(uint32_t* dst, uint32_t src, int coverage)
{
    const uint32_t a = src >> 24;
    if (a == 0) return;
    const uint32_t f = ((a + 1) * (uint32_t)std::clamp(coverage, 0, 255)) >> 8;
    const uint32_t g = 256 - f;
    const uint32_t d = *dst;
    uint32_t r = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t s = (src >> shift) & 0xFF, t = (d >> shift) & 0xFF;
        r |= (((s * f + t * g) >> 8) & 0xFF) << shift;
    }
    r |= std::min<uint32_t>((d >> 24) + a, 255) << 24;
    *dst = r;
}

void RLE_blend_rect(const int32_t* image, int64_t lead, int64_t gap, int width, int height, uint32_t* out,
                    int coverage)
{
    coverage = std::clamp(coverage, 0, 255);
    if (coverage == 0 || width <= 0 || height <= 0) return;
    rle_cursor c(image);
    if (!c.pass(lead)) return;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = out + (size_t)y * width;
        int x = 0;
        while (x < width) {
            if (!c.ready()) return;
            const int k = (int)std::min<int64_t>(c.left, width - x);
            if (c.literal) {
                for (int i = 0; i < k; ++i) RLE_blend_pixel(row + x + i, (uint32_t)c.data[i], coverage);
            } else if (*c.data != 0) {
                for (int i = 0; i < k; ++i) RLE_blend_pixel(row + x + i, (uint32_t)*c.data, coverage);
            }
            c.take(k);
            x += k;
        }
        if (y + 1 < height && !c.pass(gap)) return;
    }
}
