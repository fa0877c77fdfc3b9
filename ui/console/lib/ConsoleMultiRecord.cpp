// The end of a several-ports run: each port's code, one summary line per
// port in the order given, and one record holding every port's own.
#include <cstdio>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "platform/file.h"
#include "qrt_version.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleMulti.h"

namespace ui {

namespace {

// A child's record is a few kilobytes; anything larger is not one.
constexpr std::size_t kRecordMaxBytes = 4 * 1024 * 1024;

std::string Seconds(SeveralClock::duration d) {
  char sz[32];
  std::snprintf(sz, sizeof sz, "%.2f", std::chrono::duration<double>(d).count());
  return sz;
}

// The record a child wrote, read only as the regular file it must be (never
// a device or a pipe of that name, which could block the read); a
// discarded value when there is none.
nlohmann::ordered_json ReadChildRecord(const std::string& strPath) {
  nlohmann::ordered_json discarded = nlohmann::ordered_json::parse("", nullptr, false);
  platform::UniqueFile file(platform::OpenRegularFileForReading(strPath));
  if (!file) return discarded;
  std::string strText(kRecordMaxBytes + 1, '\0');
  std::size_t nTotal = 0;
  while (nTotal < strText.size()) {
    const std::size_t n = std::fread(&strText[nTotal], 1, strText.size() - nTotal, file.get());
    if (n == 0) break;
    nTotal += n;
  }
  if (std::ferror(file.get()) || nTotal > kRecordMaxBytes) return discarded;
  strText.resize(nTotal);
  return nlohmann::ordered_json::parse(strText, nullptr, false);
}

}  // namespace

void SeveralPorts::EndPorts() {
  for (auto& p : m_ports) {
    if (!p->bEnded) p->tEnd = SeveralClock::now();
    p->nCode = p->strLost.empty() ? p->child.ExitCode() : static_cast<int>(kExitPortProcessLost);
    p->strState = p->nCode == 0 ? "done" : "failed, code " + std::to_string(p->nCode);
    if (!p->strLost.empty()) p->strState = "lost: " + p->strLost;
  }
  m_pDisplay->Draw();
  for (auto& p : m_ports)
    if (!p->strLost.empty())
      m_pDisplay->SayLine("qrtupdate: " + p->strName + ": the update's process " + p->strLost +
                          "; the port's result is unknown");
  for (auto& p : m_ports)
    m_front.m_out << p->strName << "\t" << p->strPath << "\t" << p->nCode << "\t" << ResultMeaning(p->nCode) << "\t"
                  << Seconds(p->tEnd - p->tStart) << "\n";
  m_front.m_out.flush();
}

void NameChildRecord(nlohmann::ordered_json& record, const std::string& strName, const std::string& strPath) {
  if (!record.is_object()) return;
  auto fill = [&record](const char* pszKey, const std::string& strValue) {
    if (strValue.empty()) return;
    auto it = record.find(pszKey);
    if (it == record.end() || it->is_null()) record[pszKey] = strValue;
  };
  fill("interface", strName);
  fill("port", strPath);
}

void SeveralPorts::MergeRecords() {
  for (auto& p : m_ports) {
    nlohmann::ordered_json record;
    if (p->bStarted) record = ReadChildRecord(p->strReport);
    if (record.is_discarded() || !record.is_object()) record = LostRecord(*p);
    NameChildRecord(record, p->strName, p->strPath);
    m_front.m_severalDevices.push_back(std::move(record));
  }
}

// The record of a port whose child left none: it says why, and never that
// the device was updated.
nlohmann::ordered_json SeveralPorts::LostRecord(const PortRun& p) const {
  UpdateRecord lost;
  const std::string strProgram = StartFileName();
  const int nBrand = BrandOfFileName(strProgram);
  lost.SetProgram(strProgram, QRT_VERSION);
  if (nBrand >= 0) lost.SetBrand(BrandWord(nBrand));
  lost.SetFirmwareVersion(FirmwareVersionOfFileName(strProgram));
  lost.SetPort(p.strPath);
  // A child that ended with a result but left no record: its code stands,
  // and "updated" stays false, since nothing says what reached the device.
  lost.AddMessage("error", p.strLost.empty() ? "the update's record was not written"
                                             : "the update's process " + p.strLost);
  lost.Finish(p.nCode, m_front.StopNoted());
  if (p.nCode != 0)
    lost.SetReason(p.strLost.empty() ? (p.strReason.empty() ? "the update's record was not written" : p.strReason)
                                     : "the update's process " + p.strLost);
  nlohmann::ordered_json record = lost.Json();
  record["interface"] = p.strName;
  return record;
}

}  // namespace ui
