// A value's bits as another type of the same size: std::bit_cast where the
// C++ library has it, a copy of the bytes elsewhere (some WebAssembly
// toolchains' libraries lack it). Both are exact.
#pragma once

#include <cstring>
#include <type_traits>
#if __has_include(<bit>)
#include <bit>
#endif

template <class To, class From>
constexpr To bitCast(const From& from) {
  static_assert(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<From> && std::is_trivially_copyable_v<To>);
#if defined(__cpp_lib_bit_cast)
  return std::bit_cast<To>(from);
#else
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
#endif
}
