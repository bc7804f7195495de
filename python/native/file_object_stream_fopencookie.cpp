// File object streams with glibc's fopencookie: stdio calls the object as it reads, writes
// and seeks. A failure is reported to stdio as an I/O error, so the library call unwinds
// with ReadError or WriteError and Stream::call re-raises the object's exception.
#include <sys/types.h>

#include <cerrno>

#include "python/native/file_object_stream.hpp"

namespace quarn::native {

namespace {

FileObjectCookie& cookie_of(void* cookie) { return *static_cast<FileObjectCookie*>(cookie); }

ssize_t read_cookie(void* cookie, char* buffer, size_t size) {
    return static_cast<ssize_t>(read_from_object(cookie_of(cookie), buffer, size));
}

ssize_t write_cookie(void* cookie, const char* buffer, size_t size) {
    // 0 is fopencookie's error.
    return write_to_object(cookie_of(cookie), buffer, size) ? static_cast<ssize_t>(size) : 0;
}

int seek_cookie(void* cookie, off64_t* offset, int whence) {
    const long long position = seek_object(cookie_of(cookie), *offset, whence);
    if (position < 0)
        return -1;
    *offset = position;
    return 0;
}

int refuse_seek(void*, off64_t*, int) {
    errno = ESPIPE;
    return -1;
}

int close_cookie(void*) { return 0; }

} // namespace

const char* file_object_stream_variant() { return "fopencookie"; }

FILE* open_file_object_stream(FileObjectCookie& cookie, bool writing, bool seekable) {
    cookie_io_functions_t functions{};
    functions.read = writing ? nullptr : read_cookie;
    functions.write = writing ? write_cookie : nullptr;
    functions.seek = seekable ? seek_cookie : refuse_seek;
    functions.close = close_cookie;
    FILE* file = fopencookie(&cookie, writing ? "wb" : "rb", functions);
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, file_object_chunk);
    return file;
}

} // namespace quarn::native
