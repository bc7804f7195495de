#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "quarn/core/detail/stream.hpp"
#include "test_support.hpp"

using quarn::core::read_sized;
using quarn::test::Bytes;
using quarn::test::TempFile;

namespace {

// A socket fed from a thread with the given bytes, then closed: like a pipe, a stream that
// cannot tell its size (send with MSG_NOSIGNAL: a test that stops reading early must not
// be killed by SIGPIPE).
class Unseekable {
public:
    explicit Unseekable(Bytes bytes) : m_bytes(std::move(bytes)) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            throw std::runtime_error("socketpair failed");
        m_read = fdopen(fds[0], "rb");
        m_writer = std::thread([this, fd = fds[1]] {
            for (size_t done = 0; done < m_bytes.size();) {
                const ssize_t n =
                    ::send(fd, m_bytes.data() + done, m_bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            ::close(fd);
        });
    }
    ~Unseekable() {
        std::fclose(m_read); // a writer still sending then fails and ends
        m_writer.join();
    }
    Unseekable(const Unseekable&) = delete;
    Unseekable& operator=(const Unseekable&) = delete;

    FILE& operator*() const { return *m_read; }

private:
    Bytes m_bytes;
    FILE* m_read;
    std::thread m_writer;
};

Bytes pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

constexpr size_t four_gib = 0xFFFFFFFF;

} // namespace

TEST(ReadSized, FileHoldingTheBytes) {
    const Bytes content = pattern(5000);
    TempFile file(content);
    std::fseek(file.get(), 1000, SEEK_SET);
    Bytes out;
    ASSERT_TRUE(read_sized(*file, 4000, out));
    EXPECT_EQ(out, Bytes(content.begin() + 1000, content.end()));
}

TEST(ReadSized, FileTooShortAllocatesNothing) {
    TempFile file(pattern(100));
    Bytes out;
    EXPECT_FALSE(read_sized(*file, four_gib, out));
    EXPECT_EQ(out.capacity(), 0u);
    EXPECT_EQ(file.position(), 0) << "the position is kept for the caller";
}

TEST(ReadSized, UnseekableStreamDeliversSeveralSteps) {
    const Bytes content = pattern(3 * 1024 * 1024 + 17);
    Unseekable pipe(content);
    Bytes out;
    ASSERT_TRUE(read_sized(*pipe, content.size(), out));
    EXPECT_EQ(out, content);
}

// A pipe or socket cannot tell its size up front: the buffer grows with what arrives, so a
// forged size of 4 GiB costs about a step (1 MiB) beyond the bytes the stream held.
TEST(ReadSized, UnseekableStreamShorterThanTheSizeAllocatesWhatArrives) {
    for (const size_t held : {size_t{0}, size_t{100}, size_t{2500000}}) {
        Unseekable pipe(pattern(held));
        Bytes out;
        EXPECT_FALSE(read_sized(*pipe, four_gib, out)) << held;
        EXPECT_LE(out.capacity(), 2 * held + (size_t{2} << 20)) << held;
    }
}
