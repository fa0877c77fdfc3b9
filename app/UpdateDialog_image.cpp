// Containers, HEX import and the container-creation command. The work is
// done by image/; these operations keep the dialog's fields and messages.
#include "app/UpdateDialog.h"

#include <cstdio>

#include "common/ResultCodes.h"
#include "image/Container.h"
#include "image/CreateEvents.h"
#include "image/HexImport.h"
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
  if (!WriteContainerFile(strFileName, m_image)) m_nError = kErrorContainerWrite;
}

void UpdateDialog::VerifyContainer(const std::string& strFileName) {
  if (CompareContainerFile(strFileName, m_image) != VerifyResult::Equal) m_nError = kErrorContainerWrite;
}

void UpdateDialog::ImportHexFile(const std::string& strFileName) {
  m_hexDetails = HexImportDetails{};
  if (m_strFrontFile.empty() || m_strFrontFile == "no file selected") {
    m_image.Clear();
    m_nError = kErrorNoHexOrNoAck;
  } else {
    const int nResult = ReadHexFile(strFileName, m_image, &m_hexDetails);
    if (nResult != kHexOk) m_nError = nResult;
  }
  if (m_nError == 0) return;
  switch (m_nError) {
    case kErrorHexOpen:
      MessageBox("Could not open file!");
      break;
    case kErrorNoHexOrNoAck:
      MessageBox("Please select file!");
      break;
    case kErrorHexChecksum:
      MessageBox("Checksum error during decoding file!");
      break;
    case kErrorHexRecordType:
      MessageBox("Unknown record type in HEX file!");
      CreateObservers().OnHexRecordType({strFileName, m_hexDetails.nRecordTypeLine, m_hexDetails.nRecordType});
      break;
    default:
      MessageBox("General Error! Update abort!");
      break;
  }
}

void UpdateDialog::OnCreateEncFile() {
  m_nError = 0;
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
    MessageBox("Couldn't open file!");
  } else {
    MessageBox("ERROR While Creating Enc File");
  }
}
