#include <cerrno>
#include <cstring>

#include "python/native/file_object_stream.hpp"

namespace py = pybind11;

namespace quarn::native {

namespace {

// Keeps the Python error being raised (or a new one of the given type) as the cookie's.
void keep(FileObjectCookie& cookie, PyObject* type = nullptr, const char* message = nullptr) {
    if (type != nullptr)
        PyErr_SetString(type, message);
    if (!cookie.pending)
        cookie.pending.emplace();
    else
        PyErr_Clear();
}

} // namespace

long long read_from_object(FileObjectCookie& cookie, char* buffer, size_t size) {
    if (cookie.prefix_used < cookie.prefix.size()) {
        const size_t n = std::min(size, cookie.prefix.size() - cookie.prefix_used);
        std::memcpy(buffer, cookie.prefix.data() + cookie.prefix_used, n);
        cookie.prefix_used += n;
        return static_cast<long long>(n);
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
        return static_cast<long long>(got);
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return -1;
    }
}

bool write_to_object(FileObjectCookie& cookie, const char* buffer, size_t size) {
    py::gil_scoped_acquire gil;
    if (cookie.pending)
        return false;
    try {
        size_t done = 0;
        while (done < size) {
            const py::object put = cookie.write(py::bytes(buffer + done, size - done));
            // None: a writer that takes everything without saying so.
            const size_t n = put.is_none() ? size - done : put.cast<size_t>();
            if (n == 0 || n > size - done) {
                keep(cookie, PyExc_OSError, "write() took none of the bytes, or more than given");
                return false;
            }
            done += n;
        }
        return true;
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return false;
    } catch (py::cast_error&) {
        keep(cookie, PyExc_TypeError, "write() returned something other than a count");
        return false;
    }
}

long long seek_object(FileObjectCookie& cookie, long long offset, int whence) {
    py::gil_scoped_acquire gil;
    if (cookie.pending)
        return -1;
    try {
        const long long target = whence == SEEK_SET ? offset + cookie.base : offset;
        // The position of the object in the bytes it gave; the prefix is consumed before
        // anything is read from it, so it only matters for the first bytes.
        const long long position = cookie.seek(target, whence).cast<long long>() - cookie.base;
        if (position < 0) {
            errno = EINVAL;
            return -1;
        }
        return position;
    } catch (py::error_already_set& error) {
        error.restore();
        keep(cookie);
        return -1;
    } catch (py::cast_error&) {
        keep(cookie, PyExc_TypeError, "seek() returned something other than a position");
        return -1;
    }
}

} // namespace quarn::native
