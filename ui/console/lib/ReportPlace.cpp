#include "ui/console/lib/ReportPlace.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "update/Models.h"
#include "ui/console/lib/UpdateRecord.h"

namespace ui {

namespace {

// The files the update reads by bare name from the working folder: every
// container (whatever the model, so that a creation's output is spared
// too), the checksum list and its signature and key.
const char* const kListFiles[] = {"SHA256SUMS", "SHA256SUMS.sig", "SHA256SUMS.pem"};

bool SameName(const std::string& a, const std::string& b) {
  // Windows names are the same whatever their case; on Linux a name that
  // differs only in case would still read as the bundle's file to a user.
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string UpdateFileNamed(const std::string& strName) {
  for (const ContainerInfo& info : kFirmwareContainers)
    if (SameName(strName, info.pszFile)) return info.pszFile;
  for (const char* pszName : kListFiles)
    if (SameName(strName, pszName)) return pszName;
  return "";
}

// A record is a few kilobytes; a larger file is none.
constexpr std::size_t kRecordMaxBytes = 4 * 1024 * 1024;

int ReadSmallFile(const std::string& strPath, std::string* pstrText) {
  platform::UniqueFile file(platform::OpenRegularFileForReading(strPath));
  if (!file) return 0;
  std::string strText(kRecordMaxBytes + 1, '\0');
  std::size_t nTotal = 0;
  while (nTotal < strText.size()) {
    const std::size_t n = std::fread(&strText[nTotal], 1, strText.size() - nTotal, file.get());
    if (n == 0) break;
    nTotal += n;
  }
  if (std::ferror(file.get()) || nTotal > kRecordMaxBytes) return 0;
  strText.resize(nTotal);
  *pstrText = std::move(strText);
  return 1;
}

// True when the file holds an earlier record of this program (or nothing).
bool HoldsRecordOrNothing(const std::string& strPath) {
  std::string strText;
  if (!ReadSmallFile(strPath, &strText)) return false;
  if (strText.find_first_not_of(" \t\r\n") == std::string::npos) return true;
  const nlohmann::ordered_json j = nlohmann::ordered_json::parse(strText, nullptr, false);
  return j.is_object() && (j.contains("program") || j.contains("devices"));
}

}  // namespace

ReportPlaceFacts FindReportPlace(const std::string& strPath) {
  ReportPlaceFacts facts;
  facts.strPath = strPath;
  const std::filesystem::path path(strPath);
  facts.strFolder = path.parent_path().string();
  const std::string strFolder = facts.strFolder.empty() ? "." : facts.strFolder;
  std::error_code ec;
  if (!std::filesystem::is_directory(strFolder, ec)) {
    facts.bFolderMissing = true;
    return facts;
  }
  facts.kind = platform::KindOfPath(strPath);
  if (facts.kind != platform::PathKind::Missing && facts.kind != platform::PathKind::Regular) return facts;
  // Probed only for a place that may hold a record: never a file made in
  // /dev because a device was named.
  std::string strReason;
  if (!platform::CanCreateFileIn(strFolder, &strReason))
    facts.strFolderError = strReason.empty() ? "refused" : strReason;
  // A name the update reads, in the folder it reads it from.
  const std::string strOwn = UpdateFileNamed(path.filename().string());
  if (!strOwn.empty() && std::filesystem::equivalent(strFolder, ".", ec)) facts.strReadByUpdate = strOwn;
  if (facts.kind == platform::PathKind::Regular) facts.bForeignFile = !HoldsRecordOrNothing(strPath);
  return facts;
}

std::string ReportPlaceReason(const ReportPlaceFacts& f) {
  const std::string strFolder = f.strFolder.empty() ? "the working folder" : "the folder " + f.strFolder;
  std::string strWhy;
  if (f.bFolderMissing) {
    strWhy = strFolder + " does not exist";
  } else if (f.kind == platform::PathKind::Device) {
    strWhy = "it is a device, not a file";
  } else if (f.kind == platform::PathKind::Fifo) {
    strWhy = "it is a FIFO, not a file";
  } else if (f.kind == platform::PathKind::Folder) {
    strWhy = "it is a folder";
  } else if (f.kind == platform::PathKind::Link) {
    strWhy = "it is a symbolic link (give the path of the file itself)";
  } else if (f.kind == platform::PathKind::Other) {
    strWhy = "it is not a regular file";
  } else if (!f.strReadByUpdate.empty()) {
    strWhy = "it is " + f.strReadByUpdate + ", a file the update reads";
  } else if (!f.strFolderError.empty()) {
    strWhy = "no file can be made in " + strFolder + " (" + f.strFolderError + ")";
  } else if (f.bForeignFile) {
    strWhy = "it holds something other than an update record, which a record never replaces";
  } else {
    return "";
  }
  return "the update record cannot be written to " + f.strPath + ": " + strWhy;
}

}  // namespace ui
