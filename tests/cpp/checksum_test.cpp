#include <gtest/gtest.h>

#include "quarn/core/checksum.hpp"
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
