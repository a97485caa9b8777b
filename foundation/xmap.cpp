// File views, the data-file header check and the header writer (see xmap.h).
#include "foundation/xmap.h"

#include "foundation/alert.h"
#include "foundation/app_folder.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/resources.h"
#include "foundation/text_reader.h"
#include "platform/plat_map.h"

#include <climits>
#include <functional>

static int32_t gMapGranularity = 0;

void xmap_set_granularity(int32_t granularity)
{
    gMapGranularity = granularity > 0 ? granularity : 0;
}

xmap_file::xmap_file(const std::string& path, uint64_t offset, uint64_t length)
{
    if (!path.empty()) map(path, offset, length);
}

xmap_file::~xmap_file()
{
    close();
}

void xmap_file::close()
{
    // Resource bytes belong to the program image and are never released.
    if (!borrowed && begin) PLAT_view_unmap(begin, (uint64_t)(end - begin));
    PLAT_view_close(file_handle);
    file_handle = -1;
    begin = cursor = end = nullptr;
    borrowed = 0;
}

// Data files are named relative to the program's folder with '/' only; anything else is a
// programming fault that must not go unnoticed.
static void check_relative_path(const std::string& path)
{
    if (!gAppFolder.empty() && gAppFolder.size() <= path.size() && path.find(gAppFolder) != std::string::npos)
        MACIBM_alert(0, "retry: We are getting a file string that is not Hangaron relative!",
                     "This is illegal! All paths must be Hangaron relative!", "The path in question is:", path,
                     t_crash, "xmap", 165);
    if (path.find_first_of("\\:") != std::string::npos)
        MACIBM_alert(0, "OOPS!", "I got a bad dirchar! I only want '/'!", "The path in question is:", path, t_crash,
                     "xmap", 171);
}

const char* xmap_file::map(const std::string& path, uint64_t offset, uint64_t length)
{
    uint64_t lead = 0;
    if (gMapGranularity > 0) {
        lead = offset % (uint64_t)gMapGranularity;
        offset -= lead;
        if (length != 0) length = length > UINT64_MAX - lead ? UINT64_MAX : length + lead;
    }
    label = path;
    std::string work = path;
    const bool resource = RES_is_resource_path(work);
    if (!resource && !FILE_is_abs_path(work)) check_relative_path(work);
    close();

    if (resource) {
        uint32_t size = 0;
        const unsigned char* bytes = RES_get_resource(work, size);
        if (bytes && size > 0) {
            begin = cursor = (const char*)bytes;
            end = begin + size;
            borrowed = 1;
        }
        return begin;
    }

    std::string abs = work;
    FILE_make_abs_path(abs);
    int err = 0;
    file_handle = PLAT_view_open(abs, err);
    if (file_handle < 0) return nullptr; // missing or unreadable: the reader reports it

    uint64_t size = 0;
    if (PLAT_view_size(file_handle, size) != 0) {
        gLog << "GetFileSize failed for " << work << "\n";
        close();
        return nullptr;
    }
    if (size == 0) {
        close();
        return nullptr;
    }
    // The first byte asked for is offset + lead; a range that starts at or past the end of the
    // file gives an empty view, and one that runs past it is cut at the end of the file.
    if (offset >= size || lead >= size - offset) {
        const uint64_t past = offset - size + lead; // how far the first byte lies past the end
        gLog << "Warning: remaining file space is " << (past ? "-" : "") << past << " and offset is "
             << (offset + lead) << " for file " << work << "\n";
        close();
        return nullptr;
    }
    if (length == 0 || length > size - offset) length = size - offset;

    const char* first = PLAT_view_map(file_handle, offset, length, err);
    if (!first) {
        MACIBM_alert(0, "Xmapped file ran out of memory", "", "", "", t_note, "xmap", 311);
        gLog << "Mem file error.  Err=" << err << ", file=" << abs << "\n";
        close();
        return nullptr;
    }
    begin = first;
    end = begin + length;
    cursor = begin + lead;
    return begin;
}

// The version token of a text header: optional '-', optional '+', then decimal digits up to the
// first blank or line end. A token with other characters, or too large for an int32, is 0,
// which no list accepts.
static int read_text_version(xmap_file& f)
{
    int sign = 1;
    if (f.cursor < f.end && *f.cursor == '-') {
        sign = -1;
        ++f.cursor;
    }
    if (f.cursor < f.end && *f.cursor == '+') ++f.cursor;
    int64_t value = 0;
    bool valid = true;
    for (; !TXT_at_eol(f) && !TXT_at_blank(f); ++f.cursor) {
        const char c = *f.cursor;
        if (c < '0' || c > '9' || value > INT_MAX) {
            valid = false;
            continue;
        }
        value = value * 10 + (c - '0');
    }
    if (!valid || value > INT_MAX) return 0;
    return sign * (int)value;
}

int check_file(xmap_file& f, int kind, const int* versions, const char* type_word, std::string* rest)
{
    if (kind != FILE_KIND_BINARY && kind != FILE_KIND_TEXT) {
        MACIBM_alert(0, "Bad check_file type!", f.label, "", "", t_crash, "xmap", 40);
        return 0;
    }
    if (!f.begin || f.begin == f.end) return 0;
    f.cursor = f.begin;

    int version = 0;
    if (kind == FILE_KIND_BINARY) {
        const char first = *f.cursor;
        if (first != 'a' && first != 'i') return 0;
        f.byte_swap = first == 'a' ? 1 : 0;
        ++f.cursor;
        if (f.end - f.cursor >= 4) {
            const unsigned char* b = (const unsigned char*)f.cursor;
            uint32_t v = f.byte_swap ? ((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3])
                                     : ((uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0]);
            version = (int32_t)v;
            f.cursor += 4;
        }
    } else {
        // The byte-order mark counts only in a file that holds more than the mark.
        if (f.end - f.begin >= 4 && (unsigned char)f.begin[0] == 0xEF && (unsigned char)f.begin[1] == 0xBB &&
            (unsigned char)f.begin[2] == 0xBF)
            f.cursor += 3;
        const char first = f.cursor < f.end ? *f.cursor : 0;
        TXT_skip_to_eol(f);
        TXT_skip_line_ends(f);
        if (first != 'A' && first != 'I') return 0;
        TXT_skip_blanks(f);
        version = read_text_version(f);
        TXT_skip_blanks(f);
        const char* rest_begin = f.cursor;
        TXT_skip_to_eol(f);
        if (rest) rest->assign(rest_begin, f.cursor);
        TXT_skip_line_ends(f);
    }

    bool accepted = false;
    for (const int* v = versions; v && *v != 0; ++v)
        if (*v == version) {
            accepted = true;
            break;
        }
    if (!accepted) return 0;

    if (type_word) {
        TXT_skip_blanks(f);
        const char* mark = f.cursor;
        const char* w = type_word;
        while (*w && f.cursor < f.end && *f.cursor == *w) {
            ++w;
            ++f.cursor;
        }
        // The whole word, and then the end of its token: a longer or shorter token is another word.
        if (*w != 0 || !(TXT_at_eol(f) || TXT_at_blank(f))) {
            f.cursor = mark;
            return 0;
        }
        TXT_skip_blanks(f);
        TXT_skip_to_eol(f);
        TXT_skip_line_ends(f);
    }
    return version;
}

static void write_header(std::ofstream& out, int kind, int version, const std::string& notice)
{
    if (kind == FILE_KIND_BINARY) {
        const uint32_t v = (uint32_t)version;
        const char bytes[5] = {'i', (char)(v & 0xFF), (char)((v >> 8) & 0xFF), (char)((v >> 16) & 0xFF),
                               (char)((v >> 24) & 0xFF)};
        out.write(bytes, sizeof bytes);
    } else {
        out << "I\n" << version << " version";
        if (notice != "no-copyright-string") out << notice;
        out << "\n";
    }
}

static bool open_and_write(std::ofstream& out, const std::string& path, int kind, int version,
                           const std::string& notice)
{
    if (out.is_open()) out.close();
    out.clear();
    std::ios::openmode mode = std::ios::out | std::ios::trunc;
    if (kind == FILE_KIND_BINARY) mode |= std::ios::binary;
    out.open(path, mode);
    if (!out.is_open()) {
        out.clear();
        return false;
    }
    write_header(out, kind, version, notice);
    return out.good();
}

int FILE_write_retrying_folder(const std::string& abs_path, const std::function<int()>& write_once)
{
    int err = write_once();
    if (!err) return 0;
    // The usual cause is a missing folder: make the last one (one level only) and try once more.
    std::string folder = abs_path;
    if (abs_path.size() >= 4) {
        const size_t slash = abs_path.rfind('/');
        if (slash != std::string::npos) folder.erase(slash + 1);
    }
    PLAT_make_one_dir(folder);
    return write_once();
}

void FILE_save_failed_alert(const std::string& abs_path)
{
    MACIBM_alert(0,
                 "I could not save the file! Could the directory that the file sits in be missing? Or flagged as "
                 "READ-ONLY by the operating system? (Windows machines typically do this).",
                 abs_path, "Could the file be flagged as read-only? This happens in Windows if you copy it from a CD!",
                 "Try putting this app in the background and then flag the file as NOT read-only, or creating the "
                 "folder listed in the path above.",
                 t_note, "FILE_ops", 1160);
}

int ouf_open(std::ofstream& out, const std::string& path, int kind, int version, const std::string& notice)
{
    if (kind != FILE_KIND_BINARY && kind != FILE_KIND_TEXT) {
        MACIBM_alert(0, "Bad ouf_open type!", path, "", "", t_crash, "FILE_ops", 1108);
        return 0;
    }
    std::string abs = path;
    FILE_make_abs_path(abs);
    FILE_lower_last_three(abs);
    if (!FILE_write_retrying_folder(abs, [&] { return open_and_write(out, abs, kind, version, notice) ? 0 : 1; }))
        return 1;
    if (out.is_open()) out.close();
    out.clear();
    FILE_save_failed_alert(abs);
    return 0;
}
