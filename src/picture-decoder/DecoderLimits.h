#pragma once
// The bounds the picture decoder runs under once its readers are loaded: an address space
// given per picture, no new privileges, and a system call filter that leaves it nothing but
// decoding what it is handed (no file opened, no socket, no program started).

#include <cstdint>

namespace DecoderLimits {

// The address space the process takes now, its libraries and readers loaded.
std::int64_t addressSpaceInUse();
// Caps the address space at `bytes`, at most the hard cap set by lockDown().
bool limitAddressSpace(std::int64_t bytes);
// No new privileges, no core file, a hard cap of `maxAddressSpace` bytes, and the filter.
// False when any of it could not be set: the decoder must not run without.
bool lockDown(std::int64_t maxAddressSpace);

}  // namespace DecoderLimits
