// The update record: filled from the transfer events and the console, and
// written as one JSON document through a temporary file.
#include "ui/console/lib/UpdateRecord.h"

#include <cstdio>
#include <ctime>

#include "platform/file.h"
#include "update/Models.h"
#include "common/ResultCodes.h"

namespace ui {

namespace {

nlohmann::ordered_json OrNull(const std::string& s) { return s.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(s); }

const ModelRow* FindModelRow(int nBrand, const std::string& strModel) {
  if (nBrand == kBrandTalvo) nBrand = kBrandOp;
  for (const ModelRow& row : kModels)
    if (row.nBrand == nBrand && strModel == row.pszModel) return &row;
  return nullptr;
}

}  // namespace

std::string UtcNow() {
  std::time_t t = std::time(nullptr);
  char buffer[32] = "";
  if (const std::tm* pTm = std::gmtime(&t)) std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", pTm);
  return buffer;
}

std::string JsonLine(const nlohmann::ordered_json& j) {
  try {
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  } catch (const std::exception&) {
    return "";
  }
}

UpdateRecord::UpdateRecord() : m_strStarted(UtcNow()), m_start(std::chrono::steady_clock::now()) {}

void UpdateRecord::SetProgram(const std::string& strName, const std::string& strVersion) {
  m_strProgram = strName;
  m_strVersion = strVersion;
}
void UpdateRecord::SetBrand(const std::string& strBrand) { m_strBrand = strBrand; }
void UpdateRecord::SetFirmwareVersion(const std::string& strVersion) { m_strFirmwareVersion = strVersion; }
void UpdateRecord::SetPort(const std::string& strPort) { m_strPort = strPort; }
void UpdateRecord::SetAdapter(const std::string& strDescription) { m_strAdapter = strDescription; }

void UpdateRecord::AddMessage(const std::string& strIcon, const std::string& strText) {
  m_messages.push_back({{"icon", strIcon}, {"text", strText}});
}

UpdateRecord::Controller* UpdateRecord::Find(const std::string& strName) {
  for (Controller& c : m_controllers)
    if (c.strName == strName) return &c;
  m_controllers.push_back({});
  m_controllers.back().strName = strName;
  return &m_controllers.back();
}

void UpdateRecord::OnUpdateStarted(const UpdateStartedEvent& e) {
  m_bStarted = true;
  m_strBrand = e.strBrand;
  m_strDevice = e.strModel;
  m_strInterface = e.strInterface;
  // Every controller the row would flash is listed from the start, so that
  // those a failure leaves behind show as "not reached".
  m_controllers.clear();
  if (const ModelRow* pRow = FindModelRow(e.nBrand, e.strModel)) {
    const char* pszContainer = "";
    for (const PlanStep& step : pRow->steps) {
      if (step.kind == PlanStepKind::End) break;
      if (step.kind == PlanStepKind::Load) pszContainer = step.pszFile;
      if (step.kind == PlanStepKind::Main || step.kind == PlanStepKind::Channel) {
        Controller c;
        c.strName = step.kind == PlanStepKind::Main ? "main" : "ch" + std::to_string(step.nChannel + 1);
        c.strContainer = pszContainer;
        m_controllers.push_back(c);
      }
    }
  }
}

void UpdateRecord::OnContainerLoaded(const ContainerLoadedEvent& e) {
  m_containers.push_back({{"file", e.strFile},
                          {"bytes", e.nBytes},
                          {"sha256", OrNull(e.strSha256)},
                          {"listed_in", OrNull(e.strListedIn)}});
}

void UpdateRecord::OnListSigned(const ListSignedEvent& e) { m_strSignatureKey = e.strKeyId; }

void UpdateRecord::OnControllerStarted(const ControllerStartedEvent& e) {
  Controller* p = Find(e.strController);
  p->strContainer = e.strContainer;
  p->nPages = e.nPages;
  p->bStarted = true;
}

void UpdateRecord::OnIdentification(const IdentificationEvent& e) {
  Controller* p = Find(e.strController);
  p->strIdentification = e.strIdentification;
  p->strPreviousVersion = e.strPreviousVersion;
}

void UpdateRecord::OnPage(const PageEvent& e) {
  if (e.outcome == PageOutcome::Confirmed) ++Find(e.strController)->nConfirmed;
}

void UpdateRecord::OnControllerEnded(const ControllerEndedEvent& e) {
  Controller* p = Find(e.strController);
  p->bEnded = true;
  p->nResult = e.nResult;
}

void UpdateRecord::Finish(int nCode, bool bInterrupted) {
  m_nCode = nCode;
  m_bInterrupted = m_bInterrupted || bInterrupted;
  m_strFinished = UtcNow();
  m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  m_bFinished = true;
}

nlohmann::ordered_json UpdateRecord::Json() const {
  nlohmann::ordered_json controllers = nlohmann::ordered_json::array();
  for (const Controller& c : m_controllers) {
    // "ok" only for a controller whose transfer ended without an error; one
    // stopped midway (an interrupted run) is "failed".
    const char* pszResult = "not reached";
    if (c.bStarted) pszResult = c.bEnded && c.nResult == 0 ? "ok" : "failed";
    controllers.push_back({{"name", c.strName},
                           {"container", OrNull(c.strContainer)},
                           {"identification", c.bStarted ? nlohmann::ordered_json(c.strIdentification) : nlohmann::ordered_json()},
                           {"previous_version", OrNull(c.strPreviousVersion)},
                           {"pages", c.nPages},
                           {"confirmed", c.nConfirmed},
                           {"result", pszResult}});
  }
  nlohmann::ordered_json j;
  j["program"] = {{"name", m_strProgram}, {"version", m_strVersion}};
  j["brand"] = OrNull(m_strBrand);
  j["firmware_version"] = OrNull(m_strFirmwareVersion);
  j["device"] = OrNull(m_strDevice);
  j["interface"] = OrNull(m_strInterface);
  j["port"] = m_bStarted ? OrNull(m_strPort) : nlohmann::ordered_json();
  j["adapter"] = m_bStarted && !m_strAdapter.empty() ? nlohmann::ordered_json({{"description", m_strAdapter}}) : nlohmann::ordered_json();
  j["started"] = m_strStarted;
  j["finished"] = m_bFinished ? nlohmann::ordered_json(m_strFinished) : nlohmann::ordered_json();
  j["seconds"] = m_bFinished ? nlohmann::ordered_json(static_cast<double>(static_cast<long long>(m_dSeconds * 1000)) / 1000)
                             : nlohmann::ordered_json();
  j["containers"] = m_containers;
  // The key that signed the list the containers were checked against; null
  // when the run had no signed list.
  j["signature"] = m_strSignatureKey.empty() ? nlohmann::ordered_json()
                                              : nlohmann::ordered_json({{"key", m_strSignatureKey}});
  j["controllers"] = controllers;
  j["messages"] = m_messages;
  j["code"] = m_nCode;
  j["meaning"] = ResultMeaning(m_nCode);
  j["reason"] = OrNull(m_strReason);
  j["interrupted"] = m_bInterrupted;
  // The one field a script needs to ask: true only when an update ran to
  // code 0, was not stopped, and every controller of the row is "ok".
  bool bUpdated = m_bStarted && m_bFinished && m_nCode == 0 && !m_bInterrupted && !controllers.empty();
  for (const auto& c : controllers) bUpdated = bUpdated && c["result"] == "ok";
  j["updated"] = bUpdated;
  return j;
}

std::string UpdateRecord::Text() const { return DocumentText(Json()); }

int UpdateRecord::Write(const std::string& strPath, std::string* pstrError) const {
  return WriteDocument(strPath, Text(), pstrError);
}

std::string DocumentText(const nlohmann::ordered_json& j) {
  try {
    return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  } catch (const std::exception&) {
    return "";
  }
}

int WriteDocument(const std::string& strPath, const std::string& strText, std::string* pstrError) {
  if (strText.empty()) {
    *pstrError = "the record could not be composed";
    return 0;
  }
  // Beside the final name, so the rename stays on one file system and a
  // reader finds the old record or the whole new one, never half of one;
  // its name stays within the name limit however long the record's is.
  const std::string strTemp = platform::TemporaryNameBeside(strPath);
  // What was checked before the run may have changed since: a record still
  // replaces nothing but a plain file.
  const platform::PathKind kind = platform::KindOfPath(strPath);
  if (kind != platform::PathKind::Missing && kind != platform::PathKind::Regular) {
    *pstrError = strPath + ": not a regular file; left as it is";
    return 0;
  }
  std::FILE* f = platform::CreateRegularFile(strTemp);
  if (f == nullptr) {
    *pstrError = strTemp + ": " + platform::LastFileError();
    return 0;
  }
  bool bOk = std::fwrite(strText.data(), 1, strText.size(), f) == strText.size();
  bOk = std::fflush(f) == 0 && bOk;
  bOk = std::fclose(f) == 0 && bOk;
  if (!bOk) {
    *pstrError = strTemp + ": " + platform::LastFileError();
    platform::RemoveFile(strTemp);
    return 0;
  }
  if (!platform::ReplaceFile(strTemp, strPath)) {
    *pstrError = strPath + ": " + platform::LastFileError();
    platform::RemoveFile(strTemp);
    return 0;
  }
  return 1;
}

}  // namespace ui
