// Firmware container files: the scrambled image itself, exactly 128000
// bytes, no header. These functions only move bytes between a file and an
// image; scrambling is the caller's step (FirmwareImage::Scramble).
#pragma once
#include <string>
#include <vector>

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

// The containers of one creation, replaced together or not at all. Each is
// written and verified under a temporary name beside its final one; only
// when every one is ready are they renamed into place, so that a creation
// that fails half way never leaves a new container beside old ones (an
// update would flash that mixture). Whatever fails, the earlier containers
// stay as they were and what was written is removed.
class ContainerSet {
 public:
  ContainerSet() = default;
  ~ContainerSet() { Discard(); }
  ContainerSet(const ContainerSet&) = delete;
  ContainerSet& operator=(const ContainerSet&) = delete;

  // The name to write strFinal's new bytes under, beside it; "" when
  // strFinal is something a container never replaces (a folder, a FIFO, a
  // device).
  std::string Stage(const std::string& strFinal);
  // Puts every staged file in its final place. 1 on success; 0 leaves the
  // earlier files in place, byte for byte, and removes the staged ones.
  int Commit();
  // Removes every staged file not yet committed.
  void Discard();
  // Why Stage or Commit failed, naming the file; "" when nothing failed.
  const std::string& Failure() const { return m_strFailure; }

 private:
  struct Entry {
    std::string strFinal;
    std::string strTemp;
    std::string strAside;     // the earlier file while the set is swapped
    bool bAside = false;      // the earlier file is under strAside now
    bool bPlaced = false;     // the new file is under strFinal now
  };
  void Undo();
  std::vector<Entry> m_entries;
  std::string m_strFailure;
};
