// The firmware image: 500 pages of 256 bytes, byte a standing for device
// address a. The number of pages in use is the owner's (UpdateDialog's
// m_nPageCount) and is passed to the operations that need it.
#pragma once
#include <array>
#include <cstdint>

constexpr int kPageSize = 256;
constexpr int kImagePages = 500;
constexpr int kImageSize = kPageSize * kImagePages;  // 128000 bytes

struct FirmwareImage {
  std::array<std::uint8_t, kImageSize> m_image{};

  void Clear() { m_image.fill(0); }

  // Scrambles the image in place as a container stores it: every page p
  // below nPageCount with p mod 3 = 2 has each byte j XORed with j. Its own
  // inverse. A count of 0 or less scrambles nothing; counts above the image
  // are limited to its 500 pages.
  void Scramble(int nPageCount);
};
