// The program's version as the build configuration gives it ("4.0"): `abonex --version` and
// `abonex-db --version` print it.
#pragma once

#ifndef ABONEX_VERSION
#error "ABONEX_VERSION comes from the build configuration"
#endif

namespace abonex {

inline constexpr char kProgramVersion[] = ABONEX_VERSION;

}  // namespace abonex
