#include <gtest/gtest.h>

#include "quarn/core/result.hpp"

using namespace quarn::core;

TEST(Result, MessagesOfEveryCode) {
    const char* expected[] = {
        "Success",
        "Read error",
        "Write error",
        "Invalid magic number",
        "Invalid version number",
        "Invalid checksum type",
        "Invalid block type",
        "Invalid compression type",
        "Invalid metadata encoding type",
        "Invalid gcode encoding type",
        "Data compression error",
        "Data uncompression error",
        "Metadata encoding error",
        "Metadata decoding error",
        "GCode encoding error",
        "GCode decoding error",
        "Block not found",
        "Invalid checksum",
        "Invalid thumbnail format",
        "Invalid thumbnail width",
        "Invalid thumbnail height",
        "Invalid thumbnail data size",
        "Invalid binary GCode file",
        "Invalid ascii GCode file",
        "Invalid sequence of blocks",
        "Invalid buffer",
        "Already binarized",
        "Missing printer metadata",
        "Missing print metadata",
        "Missing slicer metadata",
    };
    for (uint16_t i = 0; i < 30; ++i)
        EXPECT_EQ(translate_result(static_cast<EResult>(i)), expected[i]) << i;
    EXPECT_EQ(static_cast<uint16_t>(EResult::MissingSlicerMetadata), 29);
}

TEST(Result, UnknownValuesHaveAnEmptyMessage) {
    for (uint16_t value : {30, 1000, 65535}) {
        const auto text = translate_result(static_cast<EResult>(value));
        EXPECT_TRUE(text.empty());
        EXPECT_EQ(text.data(), nullptr);
    }
}

TEST(Result, Versions) {
    EXPECT_EQ(quarn_version(), 1u);
    EXPECT_STREQ(version(), "0.2.1");
}
