// File object streams through a temporary file, for C libraries that cannot call the object
// from stdio: a read stream copies the object's bytes (the prefix first) into tmpfile() when
// it is made and reads them from there; a write stream collects the bytes in tmpfile() and
// copies them to the object before it is closed. The object's exceptions therefore come from
// making a read stream and from closing a write stream.
#include <cerrno>
#include <vector>

#include "python/native/file_object_stream.hpp"

namespace quarn::native {

namespace {

// Nonzero errno for a failure of stdio that did not set it.
int failure() { return errno != 0 ? errno : EIO; }

bool spool_from_object(FileObjectCookie& cookie, FILE& spool) {
    std::vector<char> chunk(file_object_chunk);
    for (;;) {
        const long long got = read_from_object(cookie, chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        const auto size = static_cast<size_t>(got);
        if (std::fwrite(chunk.data(), 1, size, &spool) != size)
            return false;
    }
    return std::fflush(&spool) == 0 && std::fseek(&spool, 0, SEEK_SET) == 0;
}

bool copy_to_object(FileObjectCookie& cookie, FILE& spool) {
    if (std::fflush(&spool) != 0 || std::fseek(&spool, 0, SEEK_SET) != 0)
        return false;
    std::vector<char> chunk(file_object_chunk);
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), &spool);
        if (got > 0 && !write_to_object(cookie, chunk.data(), got))
            return false;
        if (got < chunk.size())
            return std::ferror(&spool) == 0;
    }
}

} // namespace

const char* file_object_stream_variant() { return "spooled"; }

FILE* open_file_object_stream(FileObjectCookie& cookie, bool writing, bool) {
    FILE* spool = std::tmpfile();
    if (spool == nullptr)
        return nullptr;
    if (writing) {
        cookie.before_close = copy_to_object;
        return spool;
    }
    errno = 0;
    if (!spool_from_object(cookie, *spool)) {
        const int error = failure();
        std::fclose(spool);
        errno = error;
        return nullptr;
    }
    return spool;
}

} // namespace quarn::native
