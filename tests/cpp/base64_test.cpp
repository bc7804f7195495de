#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

#include "quarn/convert/detail/base64.hpp"
#include "test_support.hpp"

using namespace quarn::convert;
using quarn::test::bytes;
using quarn::test::Bytes;

// The test vectors of RFC 4648, both ways.
TEST(Base64, StandardVectors) {
    const struct {
        std::string_view data;
        std::string_view text;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        const Bytes data = bytes(std::string(c.data));
        EXPECT_EQ(base64_encode(data), c.text) << c.data;
        EXPECT_EQ(base64_decode(c.text), data) << c.text;
    }
}

TEST(Base64, EncodesTheWholeAlphabet) {
    const Bytes data =
        bytes({0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8b, 0x30, 0xd3, 0x8f,
               0x41, 0x14, 0x93, 0x51, 0x55, 0x97, 0x61, 0x96, 0x9b, 0x71, 0xd7, 0x9f,
               0x82, 0x18, 0xa3, 0x92, 0x59, 0xa7, 0xa2, 0x9a, 0xab, 0xb2, 0xdb, 0xaf,
               0xc3, 0x1c, 0xb3, 0xd3, 0x5d, 0xb7, 0xe3, 0x9e, 0xbb, 0xf3, 0xdf, 0xbf});
    const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    EXPECT_EQ(base64_encode(data), text);
    EXPECT_EQ(base64_decode(text), data);
}

TEST(Base64, DecodingStopsAtPaddingOrForeignCharacters) {
    const struct {
        std::string_view text;
        Bytes data;
    } cases[] = {
        {"Zm9v=Zm9v", bytes("foo")},
        {"Zm9v Zm9v", bytes("foo")},
        {"Zm9v\nZm9v", bytes("foo")},
        {"Zm9vY", bytes("foo")},
        {"Zm9vYm", bytes("foob")},
        {"Zm9vYmE", bytes("fooba")},
        {"Z", {}},
        {"=Zm9v", {}},
        {"-_", {}},
        {"Zm8=Zm9v", bytes("fo")},
        {std::string_view("Zm\0v", 4), bytes("f")},
        {"Zm9\xc3\xa9", bytes("fo")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(base64_decode(c.text), c.data) << testing::PrintToString(std::string(c.text));
}

TEST(Base64, RoundTripOfRandomBytes) {
    std::mt19937 random(7);
    for (size_t size : {1, 2, 3, 4, 5, 57, 58, 59, 1000, 4096}) {
        Bytes data(size);
        for (auto& b : data)
            b = static_cast<uint8_t>(random());
        const std::string text = base64_encode(data);
        EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
        EXPECT_EQ(base64_decode(text), data) << size;
    }
}
