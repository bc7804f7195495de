// The slicer comments that become printer and print metadata: the keys, the order in which
// they are tried, and the order in which each metadata block lists them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quarn::convert {

struct MetadataKey {
    std::string_view key;
    bool also_in_config; // a match inside the configuration block is a configuration entry too
};

// Every key once, in the order keys are tried; the first non-empty value in the source wins.
inline constexpr auto metadata_keys = std::to_array<MetadataKey>({
    {"printer_model", true},
    {"filament_type", true},
    {"filament_abrasive", true},
    {"nozzle_diameter", true},
    {"nozzle_high_flow", true},
    {"bed_temperature", true},
    {"brim_width", true},
    {"fill_density", true},
    {"layer_height", true},
    {"temperature", true},
    {"ironing", true},
    {"support_material", true},
    {"max_layer_z", false},
    {"extruder_colour", true},
    {"filament used [mm]", false},
    {"filament used [g]", false},
    {"estimated printing time (normal mode)", false},
    {"filament used [cm3]", false},
    {"filament cost", false},
    {"total filament used [g]", false},
    {"total filament cost", false},
    {"total filament used for wipe tower [g]", false},
    {"estimated printing time (silent mode)", false},
    {"estimated first layer printing time (normal mode)", false},
    {"estimated first layer printing time (silent mode)", false},
    {"objects_info", false},
    {"total toolchanges", false},
});

// The printer metadata block, in the order it lists the keys.
inline constexpr auto printer_metadata_keys = std::to_array<std::string_view>({
    "printer_model",
    "filament_type",
    "filament_abrasive",
    "nozzle_diameter",
    "nozzle_high_flow",
    "bed_temperature",
    "brim_width",
    "fill_density",
    "layer_height",
    "temperature",
    "ironing",
    "support_material",
    "max_layer_z",
    "extruder_colour",
    "filament used [mm]",
    "filament used [cm3]",
    "filament used [g]",
    "filament cost",
    "estimated printing time (normal mode)",
    "estimated printing time (silent mode)",
    "total filament used for wipe tower [g]",
    "objects_info",
});

// The print metadata block, in the order it lists the keys.
inline constexpr auto print_metadata_keys = std::to_array<std::string_view>({
    "total toolchanges",
    "filament used [mm]",
    "filament used [cm3]",
    "filament used [g]",
    "filament cost",
    "total filament used [g]",
    "total filament cost",
    "total filament used for wipe tower [g]",
    "estimated printing time (normal mode)",
    "estimated printing time (silent mode)",
    "estimated first layer printing time (normal mode)",
    "estimated first layer printing time (silent mode)",
});

// Positions in metadata_keys of the keys of a block, in the block's order. A name missing
// from metadata_keys stops the build.
template <size_t N>
consteval std::array<size_t, N> metadata_key_indices(const std::array<std::string_view, N>& keys) {
    std::array<size_t, N> indices{};
    for (size_t k = 0; k < N; ++k) {
        size_t i = 0;
        while (metadata_keys.at(i).key != keys[k])
            ++i;
        indices[k] = i;
    }
    return indices;
}

inline constexpr auto printer_key_indices = metadata_key_indices(printer_metadata_keys);
inline constexpr auto print_key_indices = metadata_key_indices(print_metadata_keys);

// A key is tried only to be written: each one belongs to a block.
consteval bool every_key_in_a_block() {
    std::array<bool, metadata_keys.size()> listed{};
    for (const size_t i : printer_key_indices)
        listed[i] = true;
    for (const size_t i : print_key_indices)
        listed[i] = true;
    for (const bool l : listed)
        if (!l)
            return false;
    return true;
}
static_assert(every_key_in_a_block());

} // namespace quarn::convert
