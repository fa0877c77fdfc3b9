// Containers, HEX import and the container-creation command. The work is
// done by image/; these operations keep the dialog's fields and messages.
#include "app/UpdateDialog.h"

#include <cstdio>

#include "image/Container.h"
#include "image/CreateEvents.h"
#include "image/HexImport.h"
#include "update/Models.h"
#include "common/ResultCodes.h"

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
  struct Job {
    const char* pszHexFile;
    const char* pszContainer;
  };
  // The fixed work list; the page count changes before job 4 and is set
  // again before job 5.
  static const Job jobs[] = {
      {"QRT_front12x0.hex", "FW1A.qrt"},      {"QRT_channel_5A.hex", "FW2A.qrt"},
      {"QRT_channel_10A.hex", "FW2B.qrt"},    {"QRT_front14x0.hex", "FW1C.qrt"},
      {"QRT_front14x0_MURELL.hex", "FW1E.qrt"},
  };

  m_nError = 0;
  UpdateData(true);
  m_nPageCount = m_nFrontPagesSmall;
  for (int i = 0; i < 5; ++i) {
    if (i >= 3) m_nPageCount = m_nFrontPagesLarge;
    // Each action runs only while no earlier one has failed.
    if (m_nError == 0) ImportHexFile(jobs[i].pszHexFile);
    if (m_nError == 0) SaveContainer(jobs[i].pszContainer);
    if (m_nError == 0) VerifyContainer(jobs[i].pszContainer);
    // Data an update would never send: the container keeps it (it may be
    // meant to stay on the device, such as a boot loader region), and the
    // user is told instead of losing it without a word.
    const ContainerInfo* pInfo = FindContainer(jobs[i].pszContainer);
    if (m_nError == 0 && pInfo && m_hexDetails.nHighestAddress >= pInfo->nPages * kPageSize) {
      m_list.InsertString(0, DataBeyondSentPagesLine(jobs[i].pszHexFile, jobs[i].pszContainer, pInfo->nPages,
                                                     m_hexDetails.nHighestAddress));
      CreateObservers().OnDataBeyondSentPages(
          {jobs[i].pszHexFile, jobs[i].pszContainer, pInfo->nPages, m_hexDetails.nHighestAddress});
    }
  }

  if (m_nError == kResultOk) {
    MessageBox("Enc file created successfully!");
  } else if (m_nError == kErrorHexOpen) {
    MessageBox("Couldn't open file!");
  } else {
    MessageBox("ERROR While Creating Enc File");
  }
}
