// The Python-visible owner of one open stdio stream, and the helpers every binding uses to
// reach the stream and the module objects it is given.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdio>
#include <stdexcept>

namespace quarn::python {

struct FILEWrapper {
    FILE* fp{nullptr};

    explicit FILEWrapper(FILE* stream) : fp(stream) {}
    ~FILEWrapper() { close(); }
    FILEWrapper(const FILEWrapper&) = delete;
    FILEWrapper& operator=(const FILEWrapper&) = delete;

    void close() {
        if (fp != nullptr) {
            std::fclose(fp);
            fp = nullptr;
        }
    }
};

// None where a module object is expected raises RuntimeError with an empty message. Taken
// by reference, pybind11 2.x would report it as incompatible arguments (TypeError), so
// bindings take module objects (handles, records, blocks, enumeration members) by pointer,
// where None arrives as null, and pass them through here.
template <typename T>
T& ref_of(T* object) {
    if (object == nullptr)
        throw std::runtime_error("");
    return *object;
}

// The stream of a handle about to be passed to the library. A closed handle raises
// ValueError, as Python's own files do, so the library never sees a null stream.
inline FILE& stream_of(FILEWrapper& file) {
    if (file.fp == nullptr)
        throw pybind11::value_error("I/O operation on closed file");
    return *file.fp;
}

inline FILE& stream_of(FILEWrapper* file) { return stream_of(ref_of(file)); }

} // namespace quarn::python
