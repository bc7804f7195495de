// pyquarn._native: the helper extension of pyquarn, built from the same library as _quarn.
#include "python/native/registrations.hpp"

PYBIND11_MODULE(_native, m) {
    using namespace quarn::native;
    m.doc() = "Streams, block reading and writing for pyquarn (internal)";
    register_stream(m);
    register_binary_reader(m);
    register_ascii_reader(m);
    register_conversions(m);
    register_writer(m);
}
