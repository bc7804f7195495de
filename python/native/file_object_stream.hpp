// C streams over Python file objects. Which C library function makes them depends on the
// system, one variant per file (chosen in CMakeLists.txt): glibc's fopencookie, BSD and
// macOS funopen, elsewhere a temporary file the object's bytes are spooled through. What
// they share is here: the calls of the object's methods, each taking the interpreter lock,
// and the first exception one raised, kept until Stream::call or Stream::close re-raises it.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace quarn::native {

// What a stream over a Python file object keeps between calls of its methods.
struct FileObjectCookie {
    pybind11::object read; // bound methods, None when not used
    pybind11::object write;
    pybind11::object seek;
    std::string prefix; // bytes already taken from the object, given back first
    size_t prefix_used{0};
    long long base{0}; // the object's position when the stream was made: offset 0
    std::optional<pybind11::error_already_set> pending;
    // Run before the stream is closed (the lock released), by a variant that holds the
    // bytes back: false when they could not all reach the object.
    bool (*before_close)(FileObjectCookie&, FILE&){nullptr};
};

// The variant built: "fopencookie", "funopen" or "spooled".
const char* file_object_stream_variant();

// A stream reading or writing through the cookie's methods; nullptr when it could not be
// made (with errno set, or an exception pending in the cookie).
FILE* open_file_object_stream(FileObjectCookie& cookie, bool writing, bool seekable);

// The object's methods, called with the interpreter lock taken. An exception, or a result no
// file object may give (str, None, more bytes than asked for, a count of nothing written), is
// kept in the cookie and reported as a failure; once one is pending every call fails.

// Bytes read into buffer (the prefix first): 0 at the end, -1 on failure.
long long read_from_object(FileObjectCookie& cookie, char* buffer, size_t size);
// Whether the object took all size bytes (in as many write calls as it needs).
bool write_to_object(FileObjectCookie& cookie, const char* buffer, size_t size);
// The new offset from the stream's start, or -1 (errno EINVAL for one before the start).
long long seek_object(FileObjectCookie& cookie, long long offset, int whence);

// Bytes asked of the object at a time: fewer calls into Python.
constexpr size_t file_object_chunk = size_t{1} << 16;

} // namespace quarn::native
