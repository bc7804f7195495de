// The two whole-file conversions on native streams, for bytes and file objects.
#include <vector>

#include "python/native/errors.hpp"
#include "python/native/registrations.hpp"
#include "python/native/stream.hpp"
#include "quarn/binarize/binarizer.hpp"
#include "quarn/convert/conversion.hpp"
#include "quarn/core/navigation.hpp"

namespace py = pybind11;

namespace quarn::native {

void register_conversions(py::module_& m) {
    m.def(
        "ascii_to_binary",
        [](Stream& in, Stream& out, const binarize::BinarizerConfig& config,
           const py::object& name) {
            // Both streams are used in one call: the input's lock is taken for it, the output
            // is checked for a pending exception after.
            FILE& target = out.get();
            const core::EResult r =
                in.call([&](FILE& f) { return convert::from_ascii_to_binary(f, target, config); });
            out.raise_pending();
            check(r, Where{name, {}, {}});
        },
        py::arg("source"), py::arg("target"), py::arg("config"), py::arg("name"));
    m.def(
        "binary_to_ascii",
        [](Stream& in, Stream& out, bool verify, const py::object& name) {
            FILE& target = out.get();
            const core::EResult r =
                in.call([&](FILE& f) { return convert::from_binary_to_ascii(f, target, verify); });
            out.raise_pending();
            check(r, Where{name, {}, {}});
        },
        py::arg("source"), py::arg("target"), py::arg("verify"), py::arg("name"));
    m.def(
        "is_valid_binary",
        [](Stream& in, const py::object& name) {
            std::vector<uint8_t> buffer(65536);
            const core::EResult r = in.call([&](FILE& f) {
                return core::is_valid_binary_gcode(f, true, buffer.data(), buffer.size());
            });
            check(r, Where{name, {}, {}});
        },
        py::arg("source"), py::arg("name"));
}

} // namespace quarn::native
