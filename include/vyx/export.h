// Symbol visibility for the Vyx SDK. The library is built with hidden
// visibility; everything callers may use is marked VYX_API.
#pragma once

#if defined(_WIN32)
#  if defined(VYX_BUILDING_LIBRARY)
#    define VYX_API __declspec(dllexport)
#  else
#    define VYX_API __declspec(dllimport)
#  endif
#else
#  define VYX_API __attribute__((visibility("default")))
#endif

namespace Vyx {
// Handle classes keep their two words private; the SDK implementation reads
// and writes them through this friend, which it alone defines.
struct HandleAccess;
}  // namespace Vyx
