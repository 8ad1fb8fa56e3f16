// The seed of a property test over random inputs: a fixed one, so that every run checks the
// same inputs, unless ZB_PROPERTY_SEED gives another. A failing check names it (SCOPED_TRACE).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

inline uint32_t Property_Seed(uint32_t fixed)
{
    const char* given = std::getenv("ZB_PROPERTY_SEED");
    return given && *given ? uint32_t(std::strtoul(given, nullptr, 0)) : fixed;
}

inline std::string Property_SeedNote(uint32_t seed)
{
    return "seed " + std::to_string(seed) + " (ZB_PROPERTY_SEED=" + std::to_string(seed) + " repeats it)";
}
