// The Python-visible owner of one open stdio stream.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdio>

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

// The stream of a handle about to be passed to the library. A closed handle raises
// ValueError, as Python's own files do, so the library never sees a null stream.
inline FILE& stream_of(FILEWrapper& file) {
    if (file.fp == nullptr)
        throw pybind11::value_error("I/O operation on closed file");
    return *file.fp;
}

} // namespace quarn::python
