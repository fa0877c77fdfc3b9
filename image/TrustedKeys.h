// The public keys this program trusts to sign a bundle's SHA256SUMS, and
// whether it flashes only signed lists. Both are fixed when the program is
// built (-DQRT_TRUSTED_KEYS, -DQRT_REQUIRE_SIGNATURE): CMake writes them
// into a source of the build tree, so that no file beside the program can
// add a key or lift the requirement.
#pragma once
#include <cstddef>

// The trusted keys as PEM texts ("-----BEGIN PUBLIC KEY-----" ...), in the
// order given at build time; nCount is set to their number.
const char* const* TrustedKeyPems(std::size_t& nCount);

// True when the program refuses a folder without a list signed by one of
// the trusted keys (the hidden mode excepted).
bool SignatureRequired();
