// File object streams with funopen (BSD, macOS): the same as the fopencookie variant with
// funopen's signatures (int counts, -1 for every failure, the mode given by which functions
// are present). Not built on Linux, where CMake chooses fopencookie.
#include <cerrno>

#include "python/native/file_object_stream.hpp"

namespace quarn::native {

namespace {

FileObjectCookie& cookie_of(void* cookie) { return *static_cast<FileObjectCookie*>(cookie); }

int read_cookie(void* cookie, char* buffer, int size) {
    return static_cast<int>(read_from_object(cookie_of(cookie), buffer, static_cast<size_t>(size)));
}

int write_cookie(void* cookie, const char* buffer, int size) {
    return write_to_object(cookie_of(cookie), buffer, static_cast<size_t>(size)) ? size : -1;
}

fpos_t seek_cookie(void* cookie, fpos_t offset, int whence) {
    return static_cast<fpos_t>(seek_object(cookie_of(cookie), offset, whence));
}

fpos_t refuse_seek(void*, fpos_t, int) {
    errno = ESPIPE;
    return -1;
}

int close_cookie(void*) { return 0; }

} // namespace

const char* file_object_stream_variant() { return "funopen"; }

FILE* open_file_object_stream(FileObjectCookie& cookie, bool writing, bool seekable) {
    FILE* file = funopen(&cookie, writing ? nullptr : read_cookie, writing ? write_cookie : nullptr,
                         seekable ? seek_cookie : refuse_seek, close_cookie);
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, file_object_chunk);
    return file;
}

} // namespace quarn::native
