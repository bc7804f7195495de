// A C stream for the library over a path, a bytes-like object, growing memory or a Python
// file object, owning whatever it reads from or writes to.
//
// Library calls run with the interpreter lock released (Stream::Call); a stream over a
// Python file object takes it back for each call of the object's methods, and keeps the
// first exception one raises, which Call re-raises once the library call has returned.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "python/native/file_object_stream.hpp"

namespace quarn::native {

// What a stream into memory has written (memory_stream.cpp): a bytes object that grows as
// needed, so that handing it over copies nothing, where stdio can call our own functions;
// elsewhere open_memstream's buffer, copied once when taken.
struct MemoryCookie {
    PyObject* bytes{nullptr}; // owned; null until the first write
    size_t size{0};
    char* buffer{nullptr}; // open_memstream's, where it is used
    size_t buffer_size{0};
    ~MemoryCookie();
};

// A write stream into the cookie; nullptr when it could not be made.
FILE* open_memory_stream(MemoryCookie& cookie);
// What was written (the stream flushed), handed over; taken once, when writing is done.
pybind11::bytes take_memory(MemoryCookie& cookie);

class Stream {
public:
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Raises OSError when the file cannot be opened.
    static std::shared_ptr<Stream> from_path(const std::string& path, const std::string& mode);
    // Reads the object's bytes in place; the object is kept (and its buffer held) until close.
    static std::shared_ptr<Stream> from_buffer(const pybind11::object& data);
    // A write stream into memory: take() gives what was written.
    static std::shared_ptr<Stream> to_memory();
    // Over a binary file object: reading (with prefix given back first) or writing; seekable
    // or not (a stream that cannot seek reports ESPIPE).
    static std::shared_ptr<Stream> from_file_object(const pybind11::object& file, bool writing,
                                                    bool seekable, const std::string& prefix);

    // The open stream; ValueError once closed or while another thread is using it.
    FILE& get();
    bool seekable() const { return m_seekable; }
    // Flushes and closes; raises what the file object raised or OSError when the last bytes
    // could not be written. Closing twice does nothing.
    void close();
    // The bytes written into a memory stream, handed over; taken once, when writing is done.
    pybind11::bytes take();

    // Runs f (a library call on this stream) with the interpreter lock released, then
    // re-raises an exception the file object raised meanwhile.
    template <typename F>
    auto call(F&& f) -> decltype(f(std::declval<FILE&>())) {
        FILE& file = get();
        struct Busy {
            bool& flag;
            explicit Busy(bool& b) : flag(b) { flag = true; }
            ~Busy() { flag = false; }
        } busy(m_busy);
        auto result = [&] {
            pybind11::gil_scoped_release release;
            return f(file);
        }();
        raise_pending();
        return result;
    }
    void raise_pending();

private:
    Stream() = default;
    void release();
    // Closes m_file, giving a file object the bytes its stream holds back first; the errno of
    // the first failure, 0 when none.
    int close_file();

    FILE* m_file{nullptr};
    bool m_seekable{true};
    bool m_busy{false};
    pybind11::object m_owner; // the object whose buffer is read
    Py_buffer m_view{};
    bool m_has_view{false};
    std::unique_ptr<MemoryCookie> m_memory; // of to_memory
    std::unique_ptr<FileObjectCookie> m_cookie;
};

} // namespace quarn::native
