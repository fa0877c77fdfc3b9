# The keys a program trusts to sign a bundle's SHA256SUMS, and whether it
# requires a signed list, written into a source of the build tree.

# qrt_trust_source(OUT KEYS REQUIRED): writes OUT defining TrustedKeyPems()
# and SignatureRequired() (image/TrustedKeys.h) from the PEM public key files
# in the list KEYS (relative paths taken from the top of the source tree)
# and the truth value REQUIRED. A file that is missing or holds no PEM public
# key stops the configuration: a program must never be built trusting less
# than it was asked to.
function(qrt_trust_source out keys required)
  set(entries "")
  foreach(key IN LISTS keys)
    get_filename_component(path "${key}" ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
    if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
      message(FATAL_ERROR "QRT_TRUSTED_KEYS: no key file ${path}")
    endif()
    file(READ "${path}" pem)
    if(NOT pem MATCHES "-----BEGIN PUBLIC KEY-----[A-Za-z0-9+/=\r\n]+-----END PUBLIC KEY-----")
      message(FATAL_ERROR "QRT_TRUSTED_KEYS: ${path} holds no PEM public key (-----BEGIN PUBLIC KEY-----); "
                          "make one with: openssl pkey -in PRIVATE.pem -pubout -out PUBLIC.pem")
    endif()
    string(REGEX MATCH "-----BEGIN PUBLIC KEY-----[A-Za-z0-9+/=\r\n]+-----END PUBLIC KEY-----" pem "${pem}")
    string(REPLACE "\r" "" pem "${pem}")
    string(APPEND entries "    R\"QRTPEM(${pem})QRTPEM\",\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
  endforeach()
  if(required)
    set(required_value true)
  else()
    set(required_value false)
  endif()
  file(CONFIGURE OUTPUT "${out}" CONTENT [=[
// Written by CMake (cmake/QrtTrust.cmake) from QRT_TRUSTED_KEYS and
// QRT_REQUIRE_SIGNATURE; changed by configuring again, not by hand.
#include "image/TrustedKeys.h"

namespace {
const char* const kTrustedKeyPems[] = {
@entries@    nullptr,
};
}  // namespace

const char* const* TrustedKeyPems(std::size_t& nCount) {
  nCount = sizeof kTrustedKeyPems / sizeof kTrustedKeyPems[0] - 1;
  return kTrustedKeyPems;
}

bool SignatureRequired() { return @required_value@; }
]=] @ONLY)
endfunction()
