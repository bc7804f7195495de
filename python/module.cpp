// The _quarn extension module: docstring, registrations in their fixed order, version.
//
// PYBIND11_MODULE provides the import-time interpreter version check and turns a failing
// registration into ImportError.
#include "python/registrations.hpp"
#include "quarn/core/result.hpp"

namespace py = pybind11;

namespace {

constexpr const char* module_doc = R"(
        Python binding of the libquarn conversion functions
        -----------------------

        .. currentmodule:: pyquarn

        .. autosummary::
           :toctree: _generate

           open
           close
           is_open
           translate_result
           is_valid_binary_gcode
           read_header
           get_config
           from_ascii_to_binary
           from_binary_to_ascii
    )";

} // namespace

PYBIND11_MODULE(_quarn, m) {
    using namespace quarn::python;
    m.doc() = module_doc;
    register_file_wrapper(m);
    register_enums(m);
    register_core(m);
    register_blocks(m);
    register_binarizer(m);
    m.attr("__version__") = quarn::core::version();
}
