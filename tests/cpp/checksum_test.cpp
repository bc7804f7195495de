#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "quarn/core/checksum.hpp"
#include "quarn/core/detail/stream.hpp"
#include "test_support.hpp"

using namespace quarn::core;
using namespace quarn::test;

namespace {

Bytes stored(const Checksum& c) { return Bytes(c.bytes().begin(), c.bytes().end()); }

uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

} // namespace

TEST(Checksum, KnownValueAndResumption) {
    Checksum fresh(EChecksumType::CRC32);
    EXPECT_EQ(fresh.get_size(), 4u);
    EXPECT_EQ(stored(fresh), bytes({0, 0, 0, 0}));

    Checksum whole(EChecksumType::CRC32);
    whole.append(digits, 9);
    EXPECT_EQ(stored(whole), bytes({0x26, 0x39, 0xF4, 0xCB}));

    Checksum pieces(EChecksumType::CRC32);
    pieces.append(digits, 4);
    pieces.append(digits + 4, 5);
    EXPECT_TRUE(pieces.matches(whole));
}

TEST(Checksum, IgnoredInputs) {
    Checksum crc(EChecksumType::CRC32);
    crc.append(nullptr, 5);
    crc.append(digits, 0);
    EXPECT_EQ(stored(crc), bytes({0, 0, 0, 0}));

    Checksum none(EChecksumType::None);
    EXPECT_EQ(none.get_size(), 0u);
    none.append(digits, 9);
    EXPECT_EQ(stored(none), bytes({0, 0, 0, 0}));
    TempFile f(bytes({1, 2, 3, 4}));
    EXPECT_EQ(none.read(*f), EResult::Success);
    EXPECT_EQ(none.write(*f), EResult::Success);
    EXPECT_EQ(f.position(), 0);
}

TEST(Checksum, ReadWriteAndMatch) {
    Checksum written(EChecksumType::CRC32);
    written.append(digits, 9);
    TempFile f;
    ASSERT_EQ(written.write(*f), EResult::Success);
    EXPECT_EQ(f.contents(), bytes({0x26, 0x39, 0xF4, 0xCB}));

    std::rewind(f.get());
    Checksum read_back(EChecksumType::CRC32);
    ASSERT_EQ(read_back.read(*f), EResult::Success);
    EXPECT_TRUE(read_back.matches(written));
    EXPECT_EQ(read_back.read(*f), EResult::ReadError); // at the end
}

TEST(Checksum, BlockHeaderFieldsAsStored) {
    // The compressed size is covered only when the block is compressed.
    for (uint16_t compression : {0, 3}) {
        const BlockHeader header(1, compression, 1000, 100);
        Checksum fields(EChecksumType::CRC32);
        append_block_header(fields, header);

        TempFile f;
        BlockHeader copy = header;
        ASSERT_EQ(copy.write(*f), EResult::Success);
        const Bytes on_disk = f.contents();
        EXPECT_EQ(on_disk.size(), compression ? 12u : 8u);
        Checksum expected(EChecksumType::CRC32);
        expected.append(on_disk);
        EXPECT_TRUE(fields.matches(expected));
    }
}

// The folded method covers 64 bytes and more in steps of 16 and hands the rest to the table
// method: every length around those steps, from any start and any running value, must give
// zlib's result.
TEST(Checksum, AgreesWithZlibAtEveryLengthAndAlignment) {
    Bytes data(70000);
    uint32_t seed = 12345;
    for (uint8_t& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n)
        lengths.push_back(n);
    for (size_t n : {1023u, 1024u, 4097u, 65535u, 65536u, 69983u})
        lengths.push_back(n);
    for (size_t offset : {0u, 1u, 7u, 15u}) {
        for (size_t n : lengths) {
            for (uint32_t start : {0u, 0xCBF43926u}) {
                // A running value other than 0 comes from four bytes appended first.
                Checksum crc(EChecksumType::CRC32);
                uint8_t prefix[4];
                store_le(start, prefix);
                crc.append(prefix, start == 0 ? 0 : 4);
                crc.append(data.data() + offset, n);
                uLong reference = ::crc32(0, prefix, start == 0 ? 0 : 4);
                reference = ::crc32(reference, data.data() + offset, static_cast<uInt>(n));
                uint8_t want[4];
                store_le(static_cast<uint32_t>(reference), want);
                ASSERT_EQ(stored(crc), Bytes(want, want + 4))
                    << "length " << n << " offset " << offset << " start " << start;
            }
        }
    }
}
