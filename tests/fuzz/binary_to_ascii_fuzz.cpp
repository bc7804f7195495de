// Any bytes as a binary G-code file converted to ASCII, with and without checksum
// verification, from a memory stream and from a file. Verification may only refuse: when
// the verified conversion succeeds, the unverified one gives the same text, and both give
// the same verdict and text from either stream.
#include <cstdint>
#include <vector>

#include "fuzz_support.hpp"
#include "quarn/convert/conversion.hpp"

namespace {

using namespace quarn;
using core::EResult;
using Bytes = std::vector<uint8_t>;

struct Outcome {
    EResult result{EResult::Success};
    Bytes text;
};

Outcome to_ascii(FILE& in, bool verify) {
    fuzz::OutputStream out;
    std::rewind(&in);
    Outcome outcome;
    outcome.result = convert::from_binary_to_ascii(in, *out, verify);
    out.flush();
    outcome.text.assign(out.data(), out.data() + out.size());
    return outcome;
}

void check(const Outcome& plain, const Outcome& verified) {
    if (verified.result != EResult::Success)
        return;
    fuzz::expect(plain.result == EResult::Success, "only the verified conversion succeeds");
    fuzz::expect(plain.text == verified.text, "verification changed the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Outcome from_memory[2];
    {
        const fuzz::InputStream in(data, size);
        for (const bool verify : {false, true})
            from_memory[verify] = to_ascii(*in, verify);
    }
    check(from_memory[0], from_memory[1]);

    // A file seeks past its end where a memory stream stops: an error may be named
    // differently, but success and its text must not depend on the stream.
    const fuzz::FileStream file(data, size);
    for (const bool verify : {false, true}) {
        const Outcome outcome = to_ascii(*file, verify);
        const bool ok = outcome.result == EResult::Success;
        fuzz::expect(ok == (from_memory[verify].result == EResult::Success),
                     "a file and a memory stream give different verdicts");
        fuzz::expect(!ok || outcome.text == from_memory[verify].text,
                     "a file and a memory stream convert to different texts");
    }
    return 0;
}
