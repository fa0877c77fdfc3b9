// Firmware container files: the scrambled image itself, exactly 128000
// bytes, no header. These functions only move bytes between a file and an
// image; scrambling is the caller's step (FirmwareImage::Scramble).
#pragma once
#include <string>

#include "image/FirmwareImage.h"

// Clears the image, then reads up to 128000 bytes of the file into it from
// offset 0; anything longer is ignored. Returns 1 when all 128000 bytes were
// read, 0 when the file is missing, unreadable or shorter (the bytes that
// were read stay, the rest is 0x00).
int ReadContainerFile(const std::string& strFileName, FirmwareImage& image);

// Creates or truncates the file and writes all 128000 bytes of the image.
// Returns 1 when the file was created and completely written and closed.
int WriteContainerFile(const std::string& strFileName, const FirmwareImage& image);

enum class VerifyResult {
  Equal,       // the file's first 128000 bytes equal the image
  Differs,     // read whole, at least one byte differs
  Unreadable,  // missing, unreadable, or shorter than 128000 bytes
};

// Reads the file back into a buffer of its own and compares it with the
// image. Bytes beyond 128000 are ignored.
VerifyResult CompareContainerFile(const std::string& strFileName, const FirmwareImage& image);
