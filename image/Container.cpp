#include "image/Container.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/file.h"

namespace {

using MyFile = platform::UniqueFile;

// Reads up to kImageSize bytes into buf; returns the count read.
std::size_t ReadUpToImage(const std::string& strFileName, std::uint8_t* buf) {
  // Only a regular file: a FIFO or device of that name is refused at once.
  MyFile file(platform::OpenRegularFileForReading(strFileName));
  if (!file) return 0;
  std::size_t nTotal = 0;
  // fread may return short on an interrupted read; go on until EOF or error.
  while (nTotal < static_cast<std::size_t>(kImageSize)) {
    const std::size_t n = std::fread(buf + nTotal, 1, kImageSize - nTotal, file.get());
    if (n == 0) break;
    nTotal += n;
  }
  return nTotal;
}

}  // namespace

int ReadContainerFile(const std::string& strFileName, FirmwareImage& image) {
  image.Clear();
  return ReadUpToImage(strFileName, image.m_image.data()) == static_cast<std::size_t>(kImageSize) ? 1 : 0;
}

int WriteContainerFile(const std::string& strFileName, const FirmwareImage& image) {
  std::FILE* f = platform::CreateRegularFile(strFileName);
  if (!f) return 0;
  const std::size_t n = std::fwrite(image.m_image.data(), 1, image.m_image.size(), f);
  const bool bFlushed = std::fflush(f) == 0;
  // A full disk may only show when the buffered data is flushed or closed.
  const bool bClosed = std::fclose(f) == 0;
  return (n == image.m_image.size() && bFlushed && bClosed) ? 1 : 0;
}

VerifyResult CompareContainerFile(const std::string& strFileName, const FirmwareImage& image) {
  auto FlashArray2 = std::make_unique<std::uint8_t[]>(kImageSize);  // zeroed
  if (ReadUpToImage(strFileName, FlashArray2.get()) != static_cast<std::size_t>(kImageSize)) {
    return VerifyResult::Unreadable;
  }
  return std::memcmp(FlashArray2.get(), image.m_image.data(), kImageSize) == 0 ? VerifyResult::Equal
                                                                               : VerifyResult::Differs;
}

// ---- a set of containers replaced together ------------------------------------

std::string ContainerSet::Stage(const std::string& strFinal) {
  const platform::PathKind kind = platform::KindOfPath(strFinal);
  if (kind != platform::PathKind::Missing && kind != platform::PathKind::Regular &&
      kind != platform::PathKind::Link) {
    m_strFailure = strFinal + " is not a regular file; it is left as it is";
    return "";
  }
  Entry e;
  e.strFinal = strFinal;
  e.strTemp = platform::TemporaryNameBeside(strFinal, 0);
  e.strAside = platform::TemporaryNameBeside(strFinal, 1);
  m_entries.push_back(e);
  return e.strTemp;
}

int ContainerSet::Commit() {
  // First every earlier file aside, then every new one in: a file held open
  // elsewhere (which Windows will not rename) stops the set before any new
  // one is in place.
  for (Entry& e : m_entries) {
    if (platform::KindOfPath(e.strFinal) == platform::PathKind::Missing) continue;
    if (!platform::ReplaceFile(e.strFinal, e.strAside)) {
      m_strFailure = e.strFinal + " cannot be replaced: " + platform::LastFileError();
      Undo();
      return 0;
    }
    e.bAside = true;
  }
  for (Entry& e : m_entries) {
    if (!platform::ReplaceFile(e.strTemp, e.strFinal)) {
      m_strFailure = e.strFinal + " cannot be replaced: " + platform::LastFileError();
      Undo();
      return 0;
    }
    e.bPlaced = true;
  }
  // The set is in place. An earlier file that cannot be removed now (held
  // open elsewhere) stays beside it under its hidden name; nothing is lost.
  for (Entry& e : m_entries)
    if (e.bAside) platform::RemoveFile(e.strAside);
  m_entries.clear();
  return 1;
}

void ContainerSet::Undo() {
  for (Entry& e : m_entries) {
    if (e.bPlaced) platform::RemoveFile(e.strFinal);
    if (e.bAside) platform::ReplaceFile(e.strAside, e.strFinal);
    e.bPlaced = false;
    e.bAside = false;
  }
  Discard();
}

void ContainerSet::Discard() {
  for (const Entry& e : m_entries) platform::RemoveFile(e.strTemp);
  m_entries.clear();
}
