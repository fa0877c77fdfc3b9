// Containers, HEX import and the container-creation command. The work is
// done by image/; these operations keep the dialog's fields and messages.
#include "app/UpdateDialog.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/ResultCodes.h"
#include "image/Container.h"
#include "image/CreateEvents.h"
#include "image/HexImport.h"
#include "platform/file.h"
#include "update/Models.h"

std::string DataBeyondSentPagesLine(const std::string& strHexFile, const std::string& strContainer, int nPagesSent,
                                    std::int32_t nHighestAddress) {
  char szAddress[16];
  std::snprintf(szAddress, sizeof szAddress, "0x%X", static_cast<unsigned>(nHighestAddress));
  return "Warning: " + strHexFile + " holds data up to address " + szAddress + ", beyond the " +
         std::to_string(nPagesSent) + " pages of " + strContainer + " that are sent";
}

int UpdateDialog::LoadContainer(const std::string& strFileName) { return ReadContainerFile(strFileName, m_image); }

void UpdateDialog::SaveContainer(const std::string& strFileName) {
  m_image.Scramble(m_nPageCount);
  // A container that cannot be created, written or read back whole leaves
  // the same code as a read-back that differs.
  if (!WriteContainerFile(strFileName, m_image)) {
    m_nError = kErrorContainerWrite;
    const std::string strSystem = platform::LastFileError();
    m_failure.strDetail = strFileName + " cannot be written" + (strSystem.empty() ? "" : ": " + strSystem);
  }
}

void UpdateDialog::VerifyContainer(const std::string& strFileName) {
  if (CompareContainerFile(strFileName, m_image) != VerifyResult::Equal) {
    m_nError = kErrorContainerWrite;
    m_failure.strDetail = strFileName + " reads back different from what was written";
  }
}

void UpdateDialog::ImportHexFile(const std::string& strFileName) {
  m_hexDetails = HexImportDetails{};
  if (m_strFrontFile.empty() || m_strFrontFile == "no file selected") {
    m_image.Clear();
    m_nError = kErrorNoHexOrNoAck;
  } else {
    const int nResult = ReadHexFile(strFileName, m_image, &m_hexDetails);
    if (nResult != kHexOk) m_nError = nResult;
    if (nResult == kHexCannotOpen) {
      // The whole path: the folder a program started from a menu reads is
      // not always the one the user thinks of.
      m_failure.strSystemText = platform::LastFileError();
      std::error_code ec;
      const std::filesystem::path path = std::filesystem::absolute(strFileName, ec);
      m_failure.strHexFile = ec ? strFileName : path.string();
    } else if (nResult != kHexOk) {
      m_failure.strHexFile = strFileName;
      m_failure.nHexLine = nResult == kHexChecksumError ? m_hexDetails.nChecksumLine
                         : nResult == kHexOutsideImage ? m_hexDetails.nBeyondLine
                         : nResult == kHexRecordType   ? m_hexDetails.nRecordTypeLine
                                                       : 0;
      m_failure.nHexAddress = nResult == kHexOutsideImage ? m_hexDetails.nBeyondAddress : -1;
      m_failure.nHexRecordType = m_hexDetails.nRecordType;
    }
  }
  if (m_nError == 0) return;
  const std::string strDetails = FailureReason();
  switch (m_nError) {
    case kErrorHexOpen:
      MessageBox("Could not open file!", "", fw::MsgIcon::Warning, strDetails);
      break;
    case kErrorNoHexOrNoAck:
      MessageBox("Please select file!");
      break;
    case kErrorHexChecksum:
      MessageBox("Checksum error during decoding file!", "", fw::MsgIcon::Warning, strDetails);
      break;
    case kErrorHexRecordType:
      MessageBox("Unknown record type in HEX file!", "", fw::MsgIcon::Warning, strDetails);
      CreateObservers().OnHexRecordType({strFileName, m_hexDetails.nRecordTypeLine, m_hexDetails.nRecordType});
      break;
    default:
      MessageBox("General Error! Update abort!", "", fw::MsgIcon::Warning, strDetails);
      break;
  }
}

void UpdateDialog::OnCreateEncFile() {
  m_nError = 0;
  m_failure = FailureFacts();
  m_failureWatch = FailureWatch();
  UpdateData(true);
  // The new containers are written beside the earlier ones and put in
  // place together at the end: a failure at any file leaves the earlier set
  // whole, never a mixture of new and old that an update would flash.
  ContainerSet containers;
  // The fixed work list of the table of models; each job sets the page
  // count its container is scrambled with.
  for (const ContainerJob& job : kContainerJobs) {
    m_nPageCount = job.bLargeFront ? m_nFrontPagesLarge : m_nFrontPagesSmall;
    // Each action runs only while no earlier one has failed.
    if (m_nError == 0) ImportHexFile(job.pszHexFile);
    std::string strStaged;
    if (m_nError == 0) {
      strStaged = containers.Stage(job.pszContainer);
      if (strStaged.empty()) m_nError = kErrorContainerWrite;
    }
    if (m_nError == 0) SaveContainer(strStaged);
    if (m_nError == 0) VerifyContainer(strStaged);
    // Data an update would never send: the container keeps it (it may be
    // meant to stay on the device, such as a boot loader region), and the
    // user is told instead of losing it without a word.
    const ContainerInfo* pInfo = FindContainer(job.pszContainer);
    if (m_nError == 0 && pInfo && m_hexDetails.nHighestAddress >= pInfo->nPages * kPageSize) {
      m_list.InsertString(0, DataBeyondSentPagesLine(job.pszHexFile, job.pszContainer, pInfo->nPages,
                                                     m_hexDetails.nHighestAddress));
      CreateObservers().OnDataBeyondSentPages(
          {job.pszHexFile, job.pszContainer, pInfo->nPages, m_hexDetails.nHighestAddress});
    }
  }
  if (m_nError == 0 && !containers.Commit()) m_nError = kErrorContainerWrite;
  containers.Discard();
  if (m_nError != 0 && !containers.Failure().empty()) CreateObservers().OnContainersKept({containers.Failure()});

  if (m_nError == kResultOk) {
    MessageBox("Enc file created successfully!");
  } else if (m_nError == kErrorHexOpen) {
    MessageBox("Couldn't open file!", "", fw::MsgIcon::Warning, FailureReason());
  } else {
    MessageBox("ERROR While Creating Enc File", "", fw::MsgIcon::Warning, FailureReason());
  }
}
