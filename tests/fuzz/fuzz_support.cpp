#include "fuzz_support.hpp"

#include <sys/mman.h>
#include <unistd.h>

namespace quarn::fuzz {

namespace {

FILE* must(FILE* fp, const char* what) {
    if (fp == nullptr)
        fail(what);
    return fp;
}

} // namespace

InputStream::InputStream(const uint8_t* data, size_t size)
    : m_fp(must(size == 0 ? std::fopen("/dev/null", "rb")
                          : fmemopen(const_cast<uint8_t*>(data), size, "rb"),
                "cannot open the input stream")) {}

InputStream::~InputStream() { std::fclose(m_fp); }

FileStream::FileStream(const uint8_t* data, size_t size) {
    const int fd = memfd_create("fuzz-input", 0);
    if (fd < 0)
        fail("memfd_create failed");
    m_fp = must(fdopen(fd, "w+b"), "fdopen failed");
    if (size != 0 && std::fwrite(data, 1, size, m_fp) != size)
        fail("cannot fill the input file");
    std::rewind(m_fp);
}

FileStream::~FileStream() { std::fclose(m_fp); }

OutputStream::OutputStream()
    : m_fp(must(open_memstream(&m_buffer, &m_size), "open_memstream failed")) {}

OutputStream::~OutputStream() {
    std::fclose(m_fp);
    std::free(m_buffer);
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz expectation failed: %s\n", what);
    std::abort();
}

} // namespace quarn::fuzz
