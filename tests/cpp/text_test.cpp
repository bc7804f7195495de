#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "quarn/convert/detail/text.hpp"

using namespace quarn::convert;
using namespace std::string_view_literals;

TEST(Text, TrimRemovesSpacesAndTabsOnly) {
    EXPECT_EQ(trim_blanks(" \t a b \t "), "a b");
    EXPECT_EQ(trim_blanks(" \t "), "");
    EXPECT_EQ(trim_blanks(""), "");
    EXPECT_EQ(trim_blanks("\r x \n"), "\r x \n");
    EXPECT_EQ(trim_blanks("\v\f"), "\v\f");
}

TEST(Text, PayloadDropsOneLeadingSemicolon) {
    const struct {
        std::string_view line;
        std::string_view payload;
    } cases[] = {
        {"; key = value", "key = value"},
        {"key = value", "key = value"},
        {" \t;\t key = value \t", "key = value"},
        {"", ""},
        {" \t ", ""},
        {";", ""},
        {" ; \t", ""},
        {";;", ";"},
        {"; a ; b", "a ; b"},
        {";LAYER_CHANGE", "LAYER_CHANGE"},
        {"G1 X1 ; move", "G1 X1 ; move"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(line_payload(c.line), c.payload) << c.line;
}

TEST(Text, ValueOfAKey) {
    const struct {
        std::string_view payload;
        std::string_view key;
        std::string_view value;
    } cases[] = {
        {"temperature = 215", "temperature", "215"},
        {"temperature_x = 5", "temperature", "5"},
        {"temperature=\t215 ", "temperature", "215"},
        {"filament used [mm] = 1.5 = 2", "filament used [mm]", "1.5 = 2"},
        {"printer_model =", "printer_model", ""},
        {"printer_model", "printer_model", ""},
        {"bed_temperature = 60", "temperature", ""},
        {" temperature = 215", "temperature", ""},
        {"temp = 215", "temperature", ""},
        {"", "temperature", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(key_value(c.payload, c.key), c.value) << c.payload << " / " << c.key;
}

TEST(Text, DecimalNumbers) {
    const struct {
        std::string_view text;
        uint16_t u16;
        uint64_t u64;
    } cases[] = {
        {"0", 0, 0},
        {"16", 16, 16},
        {"0016x", 16, 16},
        {"300x200", 300, 300},
        {"12 34", 12, 12},
        {"65535", 65535, 65535},
        {"65536", 0, 65536},
        {"18446744073709551615", 0, UINT64_MAX},
        {"18446744073709551616", 0, 0},
        {"99999999999999999999999", 0, 0},
        {"", 0, 0},
        {"+5", 0, 0},
        {"-5", 0, 0},
        {" 5", 0, 0},
        {"x5", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_decimal<uint16_t>(c.text), c.u16) << c.text;
        EXPECT_EQ(read_decimal<uint64_t>(c.text), c.u64) << c.text;
    }
}
