// Part file names and the 8.3 short-name test, shared by both programs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelbo {

// The generic base name that replaces a name too long for 8.3 systems.
inline constexpr std::string_view kShortPartBaseName = "part";

// A part's number as its name ends: at least three digits ("001", "1000").
std::string PartNumber(std::int32_t number);

// The path of part `number` (from 1): the base path, a dot, and the number
// with at least three digits ("big.001", "big.012", "big.1000").
std::string PartFileName(std::string_view base_path, std::int32_t number);

// `text` between double quotes, as every message and script line names a file.
std::string Quoted(std::string_view text);

// True when `name` contains a blank or has more than 8 bytes, or when
// `extension` (with its leading dot) contains a blank or has more than 4.
bool IsLongName(std::string_view name, std::string_view extension);

}  // namespace zelbo
