// The bits of one type read as another of the same size: std::bit_cast, or
// the compiler's built-in where the standard library lacks it (the
// WebAssembly toolchain's).
#pragma once

#include <bit>

namespace tb {

template <class To, class From> constexpr To bitCast(const From& from) noexcept {
#if defined(__cpp_lib_bit_cast)
  return std::bit_cast<To>(from);
#else
  static_assert(sizeof(To) == sizeof(From));
  return __builtin_bit_cast(To, from);
#endif
}

} // namespace tb
