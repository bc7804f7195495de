// C streams over Python file objects (glibc fopencookie). Each callback takes the
// interpreter lock to call the object; an exception, or a result no file object may give,
// is kept in the cookie and reported to stdio as an error, so the library call unwinds with
// ReadError or WriteError and Stream::call re-raises the exception itself.
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "python/native/stream.hpp"

namespace py = pybind11;

namespace quarn::native {

namespace {

FileObjectCookie& cookie_of(void* cookie) { return *static_cast<FileObjectCookie*>(cookie); }

// Keeps the Python error being raised (or a new one of the given type) as the cookie's.
void keep(FileObjectCookie& cookie, PyObject* type = nullptr, const char* message = nullptr) {
    if (type != nullptr)
        PyErr_SetString(type, message);
    if (!cookie.pending)
        cookie.pending.emplace();
    else
        PyErr_Clear();
}

ssize_t read_object(void* opaque, char* buffer, size_t size) {
    FileObjectCookie& cookie = cookie_of(opaque);
    if (cookie.prefix_used < cookie.prefix.size()) {
        const size_t n = std::min(size, cookie.prefix.size() - cookie.prefix_used);
        std::memcpy(buffer, cookie.prefix.data() + cookie.prefix_used, n);
        cookie.prefix_used += n;
        return static_cast<ssize_t>(n);
    }
    py::gil_scoped_acquire gil;
    if (cookie.pending)
        return -1;
    try {
        const py::object data = cookie.read(size);
        if (data.is_none()) {
            keep(cookie, PyExc_ValueError, "read() returned None: the file is non-blocking");
            return -1;
        }
        if (PyUnicode_Check(data.ptr())) {
            keep(cookie, PyExc_TypeError, "read() returned str: open the file in binary mode");
            return -1;
        }
        Py_buffer view;
        if (PyObject_GetBuffer(data.ptr(), &view, PyBUF_SIMPLE) != 0) {
            keep(cookie);
            return -1;
        }
        const auto got = static_cast<size_t>(view.len);
        if (got > size) {
            PyBuffer_Release(&view);
            keep(cookie, PyExc_ValueError, "read() returned more bytes than asked for");
            return -1;
        }
        std::memcpy(buffer, view.buf, got);
        PyBuffer_Release(&view);
        return static_cast<ssize_t>(got);
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return -1;
    }
}

ssize_t write_object(void* opaque, const char* buffer, size_t size) {
    FileObjectCookie& cookie = cookie_of(opaque);
    py::gil_scoped_acquire gil;
    if (cookie.pending)
        return 0;
    try {
        size_t done = 0;
        while (done < size) {
            const py::object put = cookie.write(py::bytes(buffer + done, size - done));
            // None: a writer that takes everything without saying so.
            const size_t n = put.is_none() ? size - done : put.cast<size_t>();
            if (n == 0 || n > size - done) {
                keep(cookie, PyExc_OSError, "write() took none of the bytes, or more than given");
                return 0;
            }
            done += n;
        }
        return static_cast<ssize_t>(size);
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return 0;
    } catch (py::cast_error&) {
        keep(cookie, PyExc_TypeError, "write() returned something other than a count");
        return 0;
    }
}

int seek_object(void* opaque, off64_t* offset, int whence) {
    FileObjectCookie& cookie = cookie_of(opaque);
    py::gil_scoped_acquire gil;
    if (cookie.pending)
        return -1;
    try {
        const long long target = whence == SEEK_SET ? *offset + cookie.base : *offset;
        // The position of the object in the bytes it gave; the prefix is consumed before
        // anything is read from it, so it only matters for the first bytes.
        const long long position = cookie.seek(target, whence).cast<long long>() - cookie.base;
        if (position < 0) {
            errno = EINVAL;
            return -1;
        }
        *offset = position;
        return 0;
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return -1;
    } catch (py::cast_error&) {
        keep(cookie, PyExc_TypeError, "seek() returned something other than a position");
        return -1;
    }
}

int refuse_seek(void*, off64_t*, int) {
    errno = ESPIPE;
    return -1;
}

int close_object(void*) { return 0; }

} // namespace

FILE* open_file_object_stream(Stream&, FileObjectCookie& cookie, bool writing, bool seekable) {
    cookie_io_functions_t functions{};
    functions.read = writing ? nullptr : read_object;
    functions.write = writing ? write_object : nullptr;
    functions.seek = seekable ? seek_object : refuse_seek;
    functions.close = close_object;
    FILE* file = fopencookie(&cookie, writing ? "wb" : "rb", functions);
    // Fewer calls into Python: stdio asks the object for this much at a time.
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return file;
}

} // namespace quarn::native
