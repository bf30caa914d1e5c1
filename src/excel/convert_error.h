// Why a formula, or a part of it, cannot be written as spreadsheet cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ostrel::excel {

enum class ConvertError : std::uint8_t {
  Ref,    // no such node or cell: no node of the name, an index out of range, no address
  Many,   // a list (several nodes of a name, children, right) where one value is required
  Value,  // an aggregation that needs a number and has nothing to aggregate ("max()")
  // The translation outgrew kMaxCellText (nested coalesce doubles its text per level).
  // Never embedded: it always ends the whole cell.
  TooLong,
};

// "REF!", "MANY!", "VALUE!" (the evaluation errors' texts), and "ERROR!" for TooLong.
std::string_view error_text(ConvertError error);

// The longest translation of one cell; anything longer is no usable spreadsheet formula.
inline constexpr std::size_t kMaxCellText = std::size_t{1} << 24;

}  // namespace ostrel::excel
