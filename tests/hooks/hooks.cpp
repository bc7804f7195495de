// _quarn_hooks: internals of the library exposed to pytest only.
#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/heatshrink/heatshrink.hpp"

namespace py = pybind11;

namespace {

std::span<const uint8_t> bytes_of(std::string_view data) {
    return {reinterpret_cast<const uint8_t*>(data.data()), data.size()};
}

py::bytes heatshrink_encode(quarn::heatshrink::Encoder& encoder, std::string_view data,
                            unsigned window_bits) {
    const std::vector<uint8_t> encoded = encoder.encode(bytes_of(data), window_bits);
    return {reinterpret_cast<const char*>(encoded.data()), encoded.size()};
}

// Only the bytes the decoder produced come back, at most out_size of them.
py::bytes heatshrink_decode(std::string_view data, size_t out_size, unsigned window_bits) {
    std::string out(out_size, '\0');
    const size_t produced = quarn::heatshrink::decode(
        bytes_of(data), {reinterpret_cast<uint8_t*>(out.data()), out.size()}, window_bits);
    out.resize(produced);
    return py::bytes(out);
}

} // namespace

PYBIND11_MODULE(_quarn_hooks, m) {
    m.doc() = "Test-only access to quarn internals";
    py::class_<quarn::heatshrink::Encoder>(m, "HeatshrinkEncoder",
                                           "A heatshrink encoder context, reused across calls.")
        .def(py::init<>())
        .def("encode", &heatshrink_encode, py::arg("data"), py::arg("window_bits"),
             "The heatshrink bit stream of data for a window of 2^window_bits bytes.");
    m.def("heatshrink_decode", &heatshrink_decode, py::arg("data"), py::arg("out_size"),
          py::arg("window_bits"),
          "Decodes a heatshrink stream into at most out_size bytes; returns those produced.");
}
