// C streams into memory. With glibc's fopencookie the stream writes straight into a bytes
// object that grows by realloc and is handed over as it is: open_memstream grows its buffer
// by copying all of it each time and its content must be copied once more into bytes at the
// end, which for a converted file of tens of megabytes cost a third of the conversion.
// Elsewhere open_memstream (POSIX) it is.
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "python/native/stream.hpp"

namespace py = pybind11;

namespace quarn::native {

MemoryCookie::~MemoryCookie() {
    Py_XDECREF(bytes);
    std::free(buffer);
}

#if defined(QUARN_MEMORY_STREAM_FOPENCOOKIE)

namespace {

constexpr size_t first_capacity = size_t{1} << 16;

ssize_t write_memory(void* opaque, const char* data, size_t size) {
    MemoryCookie& memory = *static_cast<MemoryCookie*>(opaque);
    const size_t capacity =
        memory.bytes == nullptr ? 0 : static_cast<size_t>(PyBytes_GET_SIZE(memory.bytes));
    if (size > capacity - memory.size) {
        // Growing the object needs the interpreter; a few dozen times for any file.
        py::gil_scoped_acquire gil;
        const size_t wanted = std::max({memory.size + size, capacity * 2, first_capacity});
        if (wanted > static_cast<size_t>(PY_SSIZE_T_MAX)) {
            errno = ENOMEM;
            return 0;
        }
        const auto length = static_cast<Py_ssize_t>(wanted);
        if (memory.bytes == nullptr)
            memory.bytes = PyBytes_FromStringAndSize(nullptr, length);
        else if (_PyBytes_Resize(&memory.bytes, length) != 0)
            memory.bytes = nullptr; // freed by the failed resize
        if (memory.bytes == nullptr) {
            memory.size = 0;
            PyErr_Clear();
            errno = ENOMEM;
            return 0;
        }
    }
    std::memcpy(PyBytes_AS_STRING(memory.bytes) + memory.size, data, size);
    memory.size += size;
    return static_cast<ssize_t>(size);
}

int close_memory(void*) { return 0; }

} // namespace

FILE* open_memory_stream(MemoryCookie& cookie) {
    cookie_io_functions_t functions{};
    functions.write = write_memory;
    functions.close = close_memory;
    return fopencookie(&cookie, "wb", functions);
}

py::bytes take_memory(MemoryCookie& memory) {
    if (memory.bytes == nullptr)
        return py::bytes("");
    // Shrinking the object to what was written leaves its bytes in place.
    if (_PyBytes_Resize(&memory.bytes, static_cast<Py_ssize_t>(memory.size)) != 0) {
        memory.bytes = nullptr;
        memory.size = 0;
        throw py::error_already_set();
    }
    PyObject* written = memory.bytes;
    memory.bytes = nullptr;
    memory.size = 0;
    return py::reinterpret_steal<py::bytes>(written);
}

#else

FILE* open_memory_stream(MemoryCookie& cookie) {
    return open_memstream(&cookie.buffer, &cookie.buffer_size);
}

py::bytes take_memory(MemoryCookie& memory) {
    // The stream still owns its buffer: what it holds is copied.
    return py::bytes(memory.buffer == nullptr ? "" : memory.buffer, memory.buffer_size);
}

#endif

} // namespace quarn::native
