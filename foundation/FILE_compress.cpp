// Zip (minizip) and 7z (libarchive) extraction and file MD5 (libmd); see FILE_compress.h.
#include "foundation/FILE_compress.h"

#include "foundation/log.h"
#include "foundation/paths.h"
#include "platform/plat_fileio.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdio>
#include <locale.h>
#include <md5.h>
#include <memory>
#include <minizip/unzip.h>
#include <new>
#include <vector>

// Archives claim sizes they may not hold; nothing is ever allocated by a claimed size.
static const size_t kChunk = 256 * 1024;
static const size_t kMd5Chunk = 1024 * 1024;

// Read buffers start on a cache line: a large heap block starts 16 bytes past a page, and the
// kernel's copy into such a buffer runs several times slower than into an aligned one.
static const std::align_val_t kBufferAlign{64};

struct chunk_free {
    void operator()(char* p) const { ::operator delete[](p, kBufferAlign); }
};
typedef std::unique_ptr<char[], chunk_free> chunk_buffer;

// Null when memory runs out.
static chunk_buffer new_chunk(size_t n)
{
    return chunk_buffer(static_cast<char*>(::operator new[](n, kBufferAlign, std::nothrow)));
}

static bool is_link_entry(uint32_t external_attr)
{
    return ((external_attr >> 16) & 0xA000) == 0xA000;
}

static bool begins_with(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// ---------------------------------------------------------------------------------------------
// MD5

FILE_result FILE_md5_of_file(const std::string& path, std::string& hex)
{
    int fd = -1;
    uint64_t size = 0;
    if (FILE_result err = PLAT_read_open(FILE_abs_path(path), fd, size)) return err;
    chunk_buffer buf = new_chunk(kMd5Chunk);
    if (!buf) {
        PLAT_read_close(fd);
        return ENOMEM;
    }
    MD5_CTX ctx;
    MD5Init(&ctx);
    uint64_t left = size;
    while (left > 0) {
        size_t want = left < kMd5Chunk ? (size_t)left : kMd5Chunk;
        size_t got = 0;
        FILE_result err = PLAT_read_full(fd, buf.get(), want, got);
        // A file that ends before its size is not the file that was asked about.
        if (!err && got < want) err = EIO;
        if (err) {
            PLAT_read_close(fd);
            return err;
        }
        MD5Update(&ctx, reinterpret_cast<const uint8_t*>(buf.get()), got);
        left -= got;
    }
    PLAT_read_close(fd);
    uint8_t digest[MD5_DIGEST_LENGTH];
    MD5Final(digest, &ctx);
    char text[MD5_DIGEST_LENGTH * 2 + 1];
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    hex.assign(text, MD5_DIGEST_LENGTH * 2);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Entry names

// True unless the folder that would hold the path resolves (through links already on the
// disk) to somewhere outside the output folder. A folder that does not exist yet holds
// nothing, and writing into it fails on its own.
static bool lands_inside(const std::string& abs_out_dir, const std::string& abs_target)
{
    std::string t = abs_target;
    if (!t.empty() && t.back() == '/') t.pop_back();
    size_t slash = t.rfind('/');
    if (slash == std::string::npos) return true;
    std::string real_parent, real_out;
    if (PLAT_real_path(t.substr(0, slash + 1), real_parent) != 0) return true;
    if (PLAT_real_path(abs_out_dir, real_out) != 0) return true;
    if (real_parent == real_out) return true;
    if (real_out.back() != '/') real_out += '/';
    return begins_with(real_parent + "/", real_out.c_str());
}

// Control characters of a hostile name would break the log's lines.
static std::string printable(const std::string& name)
{
    std::string s = name;
    for (char& c : s)
        if ((unsigned char)c < 0x20 || c == 0x7f) c = '?';
    return s;
}

static FILE_result refuse_entry(const std::string& archive, const std::string& rel, const std::string& why)
{
    LOG_out() << "WARNING: refusing the entry \"" << printable(rel) << "\" of the archive " << archive << ": " << why
              << "\n";
    return err_unzip_open;
}

// 0 when the entry may be written at the folder + rel; else the refusal is logged and the
// archive counts as damaged.
static FILE_result vet_entry(const std::string& archive, const std::string& out_dir, const std::string& rel)
{
    if (!FILE_is_safe_relative_path(rel, true)) return refuse_entry(archive, rel, "its name is not a plain relative path");
    if (!lands_inside(FILE_abs_path(out_dir), FILE_abs_path(out_dir + rel)))
        return refuse_entry(archive, rel, "it would land outside the folder " + out_dir);
    return 0;
}

// What an archive fetched for one file holds besides it; none of it is ever written. It is
// logged once per archive, as an archive may hold a hundred thousand such entries.
struct other_entries {
    size_t count = 0;
    std::string first;
    void add(const std::string& entry)
    {
        if (count++ == 0) first = entry;
    }
};

static void log_other_entries(const std::string& archive, const other_entries& others, const std::string& name)
{
    if (others.count == 1)
        LOG_out() << "WARNING: the archive " << archive << " holds the entry \"" << printable(others.first)
                  << "\", which is not the file \"" << printable(name) << "\" it was fetched for; it is not written\n";
    else if (others.count > 1)
        LOG_out() << "WARNING: the archive " << archive << " holds " << others.count << " other entries (the first is \""
                  << printable(others.first) << "\"), which are not the file \"" << printable(name)
                  << "\" it was fetched for; they are not written\n";
}

static FILE_result log_file_missing(const std::string& archive, const std::string& name)
{
    LOG_out() << "WARNING: the archive " << archive << " does not hold the file \"" << printable(name)
              << "\" it was fetched for\n";
    return err_unzip_open;
}

// ---------------------------------------------------------------------------------------------
// Zip

static void log_entry_failure(FILE_result err, int line, const std::string& out_path)
{
    LOG_out() << "Zip to file failed with error " << err << ". file = FILE_compress line = " << line
              << ". inFile=" << out_path << "\n";
}

// True when n more bytes would take the total past max_size (-1: no limit).
static bool passes_size(uint64_t total, size_t n, int64_t max_size)
{
    return max_size >= 0 && total + n > (uint64_t)max_size;
}

// Streams the zip's current entry into a temporary beside out_path, checked (size and CRC) but
// not yet renamed over it: out holds it for the caller. On failure the temporary is gone and
// line holds the failing step's location. An entry that would pass max_size bytes stops there
// with EBADMSG, whatever size its header claims.
static FILE_result zip_entry_to_temp(unzFile zf, const std::string& out_path, const FILE_zip_entry& info,
                                     PLAT_replace_file& out, int& line, int64_t max_size = -1)
{
    FILE_result err = unzOpenCurrentFile(zf);
    if (err != UNZ_OK) {
        line = 399;
        return err;
    }
    chunk_buffer buf = new_chunk(kChunk);
    if (!buf) {
        err = ENOMEM;
        line = 402;
    } else if ((err = PLAT_replace_begin(out, FILE_abs_path(out_path))) != 0) {
        line = 412;
    } else {
        uint64_t total = 0;
        for (;;) {
            int n = unzReadCurrentFile(zf, buf.get(), (unsigned)kChunk);
            if (n < 0) {
                err = err_unzip_read;
                line = 404;
                break;
            }
            if (n == 0) break;
            if (passes_size(total, (size_t)n, max_size)) {
                err = EBADMSG;
                line = 404;
                break;
            }
            total += (uint64_t)n;
            if ((err = PLAT_replace_write(out, buf.get(), (size_t)n)) != 0) {
                line = 420;
                break;
            }
        }
        if (!err && total != info.uncompressed_size) {
            err = err_unzip_read;
            line = 404;
        }
    }
    // Closing the entry checks its CRC; only a checked file may replace the old one.
    int closed = unzCloseCurrentFile(zf);
    if (!err && closed != UNZ_OK) {
        err = closed;
        line = 406;
    }
    if (err) PLAT_replace_abort(out);
    return err;
}

FILE_result zip_to_file(void* zip, const std::string& out_path, const FILE_zip_entry& info)
{
    PLAT_replace_file out;
    int line = 0;
    FILE_result err = zip_entry_to_temp((unzFile)zip, out_path, info, out, line);
    if (!err && (err = PLAT_replace_commit(out)) != 0) line = 420;
    if (err) log_entry_failure(err, line, out_path);
    return err;
}

FILE_result FILE_unzip_symlink(void*, const std::string&, const FILE_zip_entry&)
{
    return 0;
}

FILE_result FILE_unzip_resource_fork(void*, const std::string&, const FILE_zip_entry&)
{
    return 0;
}

// Reads the current entry's information and its whole name (asking for the length first, as
// the library neither ends nor reports a name cut to the buffer).
static int read_entry_info(unzFile zf, FILE_zip_entry& e)
{
    unz_file_info64 info;
    int err = unzGetCurrentFileInfo64(zf, &info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) return err;
    std::vector<char> name(info.size_filename + 1);
    err = unzGetCurrentFileInfo64(zf, &info, name.data(), (uLong)name.size(), nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) return err;
    e.name.assign(name.data(), info.size_filename);
    e.uncompressed_size = info.uncompressed_size;
    e.external_attr = (uint32_t)info.external_fa;
    return UNZ_OK;
}

// One entry of the walk: a folder, a skipped entry or a file.
static FILE_result unzip_entry(unzFile zf, const std::string& abs_zip, const std::string& out_dir,
                               const FILE_zip_entry& e, const std::string* replace_name)
{
    const bool folder = !e.name.empty() && e.name.back() == '/';
    const std::string& rel = (replace_name && !folder) ? *replace_name : e.name;
    if (FILE_result err = vet_entry(abs_zip, out_dir, rel)) return err;
    const std::string out_path = out_dir + rel;
    if (folder) {
        if (begins_with(e.name, "__MACOSX")) return 0;
        FILE_result err = FILE_make_dir(out_path);
        return FILE_is_real_error(err) ? err : 0;
    }
    if (begins_with(e.name, "__MACOSX")) {
        size_t skip = 8;
        if (skip < e.name.size() && (e.name[skip] == '/' || e.name[skip] == '\\')) ++skip;
        return FILE_unzip_resource_fork(zf, out_dir + e.name.substr(skip), e);
    }
    if (is_link_entry(e.external_attr)) return FILE_unzip_symlink(zf, out_path, e);
    return zip_to_file(zf, out_path, e);
}

static void log_zip_open_failure(const std::string& abs_zip)
{
    LOG_out() << "OK I am about to report that I could not open a zip file for extraction!\n"
              << "That incoming file is " << abs_zip << "\n"
              << "In c-form, it is " << abs_zip << "\n"
              << "The size is " << abs_zip.size() << "\n";
}

FILE_result FILE_unzip_to_dir(const std::string& zip_path, const std::string& out_dir, std::string* first_name,
                              const std::string* replace_name)
{
    const std::string abs_zip = FILE_abs_path(zip_path);
    FILE_result result = 0;
    int line = 0;
    unzFile zf = unzOpen64(abs_zip.c_str());
    if (!zf) {
        log_zip_open_failure(abs_zip);
        result = err_unzip_open;
        line = 600;
    } else {
        bool first = true;
        int walk = unzGoToFirstFile(zf);
        while (walk == UNZ_OK) {
            FILE_zip_entry e;
            walk = read_entry_info(zf, e);
            if (walk != UNZ_OK) {
                LOG_out() << "unzGetCurrentFileInfo err != UNZ_OK! err=" << walk << "\n";
                break;
            }
            if (first && first_name) *first_name = e.name;
            first = false;
            if (FILE_result err = unzip_entry(zf, abs_zip, out_dir, e, replace_name)) {
                LOG_out() << "UNZIP zip_to_file failed with err=" << err << "\n";
                result = err;
                line = 639;
                break;
            }
            walk = unzGoToNextFile(zf);
        }
        if (!result && walk != UNZ_END_OF_LIST_OF_FILE && walk != UNZ_OK) {
            result = walk;
            line = 650;
        }
        unzClose(zf);
    }
    if (result)
        LOG_out() << "Zip to file failed with error err = " << result << ". file = FILE_compress line = " << line
                  << ". zip_file=" << abs_zip << ", out_dir=" << out_dir << "\n";
    return result;
}

FILE_result FILE_unzip_file(const std::string& zip_path, const std::string& name, const std::string& target,
                            PLAT_replace_file& out, int64_t max_size)
{
    const std::string abs_zip = FILE_abs_path(zip_path);
    unzFile zf = unzOpen64(abs_zip.c_str());
    if (!zf) {
        log_zip_open_failure(abs_zip);
        return err_unzip_open;
    }
    FILE_result result = 0;
    bool found = false;
    other_entries others;
    int walk = unzGoToFirstFile(zf);
    while (walk == UNZ_OK) {
        FILE_zip_entry e;
        walk = read_entry_info(zf, e);
        if (walk != UNZ_OK) {
            LOG_out() << "unzGetCurrentFileInfo err != UNZ_OK! err=" << walk << "\n";
            break;
        }
        // A hostile name marks the whole archive as damaged, written or not.
        if (!FILE_is_safe_relative_path(e.name, true)) {
            result = refuse_entry(abs_zip, e.name, "its name is not a plain relative path");
            break;
        }
        if (found || e.name != name || is_link_entry(e.external_attr)) {
            others.add(e.name);
        } else {
            int line = 0;
            if ((result = zip_entry_to_temp(zf, target, e, out, line, max_size)) != 0) {
                // A file larger than allowed is the caller's to report.
                if (result != EBADMSG) log_entry_failure(result, line, target);
                break;
            }
            found = true;
        }
        walk = unzGoToNextFile(zf);
    }
    if (!result && walk != UNZ_END_OF_LIST_OF_FILE && walk != UNZ_OK) result = walk;
    unzClose(zf);
    log_other_entries(abs_zip, others, name);
    if (!result && !found) result = log_file_missing(abs_zip, name);
    if (result) PLAT_replace_abort(out);
    return result;
}

// ---------------------------------------------------------------------------------------------
// 7z

// The decoder's input stream over the open archive file.
struct sz_stream {
    int fd = -1;
    int err = 0; // the system's error from the last failed read or seek
    chunk_buffer buf;
};

static la_ssize_t FILE_7z_read(struct archive* a, void* client, const void** out)
{
    sz_stream* s = (sz_stream*)client;
    size_t got = 0;
    if (int err = PLAT_read_full(s->fd, s->buf.get(), kChunk, got)) {
        s->err = err;
        archive_set_error(a, err, "reading the archive failed");
        return ARCHIVE_FATAL;
    }
    *out = s->buf.get();
    return (la_ssize_t)got;
}

static la_int64_t FILE_7z_seek(struct archive* a, void* client, la_int64_t offset, int whence)
{
    sz_stream* s = (sz_stream*)client;
    int64_t pos = 0;
    int w = whence == SEEK_CUR ? 1 : whence == SEEK_END ? 2 : 0;
    if (int err = PLAT_read_seek(s->fd, offset, w, pos)) {
        s->err = err;
        archive_set_error(a, err, "seeking in the archive failed");
        return ARCHIVE_FATAL;
    }
    return pos;
}

// Streams the current item's bytes into a temporary beside the output path, left in out. An
// item that would pass max_size bytes (-1: no limit) stops there with EBADMSG.
static FILE_result un7z_item_to_temp(struct archive* a, const sz_stream& s, const std::string& abs_out, char* buf,
                                     PLAT_replace_file& out, int64_t max_size = -1)
{
    if (FILE_result err = PLAT_replace_begin(out, abs_out)) return err;
    uint64_t total = 0;
    for (;;) {
        la_ssize_t n = archive_read_data(a, buf, kChunk);
        FILE_result err = n < 0 ? (s.err ? s.err : err_unzip_read) : 0;
        if (!err && n > 0 && passes_size(total, (size_t)n, max_size)) err = EBADMSG;
        total += n > 0 ? (uint64_t)n : 0;
        if (!err && n > 0) err = PLAT_replace_write(out, buf, (size_t)n);
        if (err) {
            PLAT_replace_abort(out);
            return err;
        }
        if (n == 0) return 0;
    }
}

// Streams the current item's bytes into the output path.
static FILE_result un7z_item(struct archive* a, const sz_stream& s, const std::string& abs_out, char* buf)
{
    PLAT_replace_file out;
    if (FILE_result err = un7z_item_to_temp(a, s, abs_out, buf, out)) return err;
    return PLAT_replace_commit(out);
}

// Walks the regular-file items of a 7z archive; visit(archive, stream, name, buffer)
// handles each and a non-zero answer ends the walk with it. Folders, links and other special
// items are passed over.
template <typename Visit>
static FILE_result walk_7z(const std::string& abs_7z, Visit visit)
{
    sz_stream s;
    uint64_t size = 0;
    if (FILE_result err = PLAT_read_open(abs_7z, s.fd, size)) return err;
    chunk_buffer data = new_chunk(kChunk);
    s.buf = new_chunk(kChunk);
    struct archive* a = (data && s.buf) ? archive_read_new() : nullptr;
    if (!a) {
        PLAT_read_close(s.fd);
        return ENOMEM;
    }
    // The archive stores names as UTF-16; the library turns them into the thread's locale
    // character set, so this thread reads them as UTF-8 whatever the program's locale.
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    locale_t old_locale = utf8 ? uselocale(utf8) : (locale_t)0;
    archive_read_support_format_7zip(a);
    archive_read_set_read_callback(a, FILE_7z_read);
    archive_read_set_seek_callback(a, FILE_7z_seek);
    archive_read_set_callback_data(a, &s);

    FILE_result result = 0;
    if (archive_read_open1(a) != ARCHIVE_OK) result = err_unzip_open;
    while (!result) {
        struct archive_entry* entry = nullptr;
        int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
            result = err_unzip_open;
            break;
        }
        // Folders are not made (they must exist); links and other special items are never made.
        if (archive_entry_filetype(entry) != AE_IFREG) continue;
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name) name = archive_entry_pathname(entry);
        result = visit(a, s, std::string(name ? name : ""), data.get());
    }
    archive_read_free(a);
    if (utf8) {
        uselocale(old_locale);
        freelocale(utf8);
    }
    PLAT_read_close(s.fd);
    return result;
}

FILE_result FILE_un7z_to_dir(const std::string& path, const std::string& out_dir, std::string* path_out,
                             int use_path_out)
{
    const std::string abs_7z = FILE_abs_path(path);
    const std::string abs_out = FILE_abs_path(out_dir);
    return walk_7z(abs_7z, [&](struct archive* a, const sz_stream& s, const std::string& name, char* buf) {
        const std::string rel = (use_path_out && path_out) ? *path_out : name;
        if (FILE_result err = vet_entry(abs_7z, abs_out, rel)) return err;
        const std::string item_out = abs_out + rel;
        if (path_out) *path_out = item_out;
        return un7z_item(a, s, item_out, buf);
    });
}

FILE_result FILE_un7z_file(const std::string& path, const std::string& name, const std::string& target,
                           PLAT_replace_file& out, int64_t max_size)
{
    const std::string abs_7z = FILE_abs_path(path);
    bool found = false;
    other_entries others;
    FILE_result result =
        walk_7z(abs_7z, [&](struct archive* a, const sz_stream& s, const std::string& entry, char* buf) -> FILE_result {
            if (!FILE_is_safe_relative_path(entry, true)) return refuse_entry(abs_7z, entry, "its name is not a plain relative path");
            if (found || entry != name) {
                others.add(entry);
                return 0;
            }
            found = true;
            return un7z_item_to_temp(a, s, FILE_abs_path(target), buf, out, max_size);
        });
    log_other_entries(abs_7z, others, name);
    if (!result && !found) result = log_file_missing(abs_7z, name);
    if (result) PLAT_replace_abort(out);
    return result;
}
