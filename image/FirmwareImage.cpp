#include "image/FirmwareImage.h"

void FirmwareImage::Scramble(int nPageCount) {
  const int nPages = nPageCount < kImagePages ? nPageCount : kImagePages;
  for (int p = 2; p < nPages; p += 3) {
    std::uint8_t* pPage = m_image.data() + static_cast<std::size_t>(p) * kPageSize;
    for (int j = 0; j < kPageSize; ++j) {
      pPage[j] = static_cast<std::uint8_t>(pPage[j] ^ j);
    }
  }
}
