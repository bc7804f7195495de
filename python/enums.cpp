// The seven enumerations of the library as pybind11 enumeration classes: scoped, not
// arithmetic, members not exported into the module, in the numbering order of the library.
#include <string_view>
#include <utility>

#include "python/registrations.hpp"
#include "quarn/core/result.hpp"

namespace py = pybind11;

namespace quarn::python {

namespace {

// The Python names that differ from the C++ enumerator names. Golden: scripts spell them so.
constexpr std::pair<std::string_view, const char*> python_spellings[] = {
    // "None" is reserved in Python, so value 0 is spelled "none".
    {"None", "none"},
    // The Python name has always lacked the final "a"; callers depend on it.
    {"MissingSlicerMetadata", "MissingSlicerMetadat"},
};

const char* python_name(const char* name) {
    for (const auto& [cpp, spelled] : python_spellings)
        if (cpp == name)
            return spelled;
    return name;
}

template <typename E>
void register_enumeration(py::module_& m, const char* name) {
    py::enum_<E> enumeration(m, name);
    for (const core::Enumerator<E>& row : core::enumerators<E>)
        enumeration.value(python_name(row.name), row.value);
}

} // namespace

void register_enums(py::module_& m) {
    register_enumeration<core::EResult>(m, "EResult");
    register_enumeration<core::ECompressionType>(m, "CompressionType");
    register_enumeration<core::EGCodeEncodingType>(m, "GCodeEncodingType");
    register_enumeration<core::EMetadataEncodingType>(m, "MetadataEncodingType");
    register_enumeration<core::EChecksumType>(m, "ChecksumType");
    register_enumeration<core::EBlockType>(m, "EBlockType");
    register_enumeration<core::EThumbnailFormat>(m, "EThumbnailFormat");
}

} // namespace quarn::python
