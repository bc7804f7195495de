#include "python/native/stream.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "python/native/registrations.hpp"

namespace py = pybind11;

namespace quarn::native {

namespace {

[[noreturn]] void raise_os_error(int error, const std::string& path) {
    const py::object type = py::module_::import("builtins").attr("OSError");
    const py::object value = type(error, std::strerror(error), py::bytes(path));
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
}

} // namespace

Stream::~Stream() {
    if (m_file != nullptr)
        close_file();
    release();
}

int Stream::close_file() {
    FILE* file = m_file;
    m_file = nullptr;
    int error = 0;
    errno = 0;
    if (m_cookie && m_cookie->before_close != nullptr && !m_cookie->before_close(*m_cookie, *file))
        error = errno != 0 ? errno : EIO;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    return error;
}

void Stream::release() {
    if (m_has_view) {
        PyBuffer_Release(&m_view);
        m_has_view = false;
    }
    m_owner = py::object();
}

std::shared_ptr<Stream> Stream::from_path(const std::string& path, const std::string& mode) {
    if (path.find('\0') != std::string::npos)
        throw py::value_error("embedded null character in path");
    std::shared_ptr<Stream> stream(new Stream());
    {
        py::gil_scoped_release release;
        stream->m_file = std::fopen(path.c_str(), mode.c_str());
    }
    if (stream->m_file == nullptr)
        raise_os_error(errno, path);
    return stream;
}

std::shared_ptr<Stream> Stream::from_buffer(const py::object& data) {
    std::shared_ptr<Stream> stream(new Stream());
    if (PyObject_GetBuffer(data.ptr(), &stream->m_view, PyBUF_SIMPLE) != 0)
        throw py::error_already_set();
    stream->m_has_view = true;
    stream->m_owner = data;
    // fmemopen refuses an empty buffer on some C libraries: one byte of nothing stands in.
    static char empty = 0;
    void* bytes = stream->m_view.len > 0 ? stream->m_view.buf : &empty;
    stream->m_file = fmemopen(bytes, static_cast<size_t>(stream->m_view.len), "rb");
    if (stream->m_file == nullptr)
        throw std::bad_alloc();
    return stream;
}

std::shared_ptr<Stream> Stream::to_memory() {
    std::shared_ptr<Stream> stream(new Stream());
    stream->m_memory = std::make_unique<MemoryCookie>();
    stream->m_file = open_memory_stream(*stream->m_memory);
    if (stream->m_file == nullptr)
        throw std::bad_alloc();
    return stream;
}

std::shared_ptr<Stream> Stream::from_file_object(const py::object& file, bool writing,
                                                 bool seekable, const std::string& prefix) {
    std::shared_ptr<Stream> stream(new Stream());
    auto cookie = std::make_unique<FileObjectCookie>();
    if (writing)
        cookie->write = file.attr("write");
    else
        cookie->read = file.attr("read");
    if (seekable) {
        cookie->seek = file.attr("seek");
        cookie->base = file.attr("tell")().cast<long long>();
    }
    cookie->prefix = prefix;
    stream->m_seekable = seekable;
    stream->m_owner = file;
    stream->m_cookie = std::move(cookie);
    errno = 0;
    stream->m_file = open_file_object_stream(*stream->m_cookie, writing, seekable);
    // A spooled stream has read the object already.
    stream->raise_pending();
    if (stream->m_file == nullptr)
        raise_os_error(errno != 0 ? errno : ENOMEM, "");
    return stream;
}

FILE& Stream::get() {
    if (m_file == nullptr)
        throw py::value_error("I/O operation on closed file");
    if (m_busy)
        throw py::value_error("the file is in use by another call");
    return *m_file;
}

void Stream::raise_pending() {
    if (m_cookie && m_cookie->pending) {
        py::error_already_set error = std::move(*m_cookie->pending);
        m_cookie->pending.reset();
        throw error;
    }
}

void Stream::close() {
    if (m_file == nullptr)
        return;
    int error = 0;
    {
        py::gil_scoped_release release;
        error = close_file();
    }
    raise_pending();
    release();
    if (error != 0)
        raise_os_error(error, "");
}

py::bytes Stream::take() {
    if (!m_memory)
        throw py::value_error("not a stream into memory");
    if (m_file != nullptr && std::fflush(m_file) != 0)
        throw std::bad_alloc();
    return take_memory(*m_memory);
}

void register_stream(py::module_& m) {
    m.attr("FILE_OBJECT_STREAMS") = file_object_stream_variant();
    py::class_<Stream, std::shared_ptr<Stream>>(m, "Stream")
        .def_static(
            "from_path",
            [](const py::bytes& path, const std::string& mode) {
                return Stream::from_path(std::string(path), mode);
            },
            py::arg("path"), py::arg("mode"))
        .def_static("from_buffer", &Stream::from_buffer, py::arg("data"))
        .def_static("to_memory", &Stream::to_memory)
        .def_static("from_file_object", &Stream::from_file_object, py::arg("file"),
                    py::arg("writing"), py::arg("seekable"), py::arg("prefix") = std::string())
        .def_property_readonly("seekable", &Stream::seekable)
        .def("take", &Stream::take)
        .def("close", &Stream::close);
}

} // namespace quarn::native
