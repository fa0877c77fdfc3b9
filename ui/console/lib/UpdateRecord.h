// The update record: what one run of the program did, as one JSON document.
// It follows the transfer events and is told the rest by its owner (the
// program's name, the port, the message boxes, the end), so a test or fuzz
// program can feed it events and read the document back without a console.
//
// A run that never started an update (a usage error, no brand keyword, no
// power supply selected, USB refused) still has a record: "device",
// "interface", "port" and "adapter" are null, "containers" and
// "controllers" are empty, "updated" is false, and "code" and "meaning"
// say how it ended.
#pragma once
#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include "update/TransferEvents.h"

namespace ui {

class UpdateRecord : public TransferEvents {
 public:
  UpdateRecord();

  void SetProgram(const std::string& strName, const std::string& strVersion);
  void SetBrand(const std::string& strBrand);  // "" for none
  void SetFirmwareVersion(const std::string& strVersion);
  // The path or device name behind the interface, "" for none.
  void SetPort(const std::string& strPort);
  // What the system tells of the adapter behind the port, "" for nothing.
  void SetAdapter(const std::string& strDescription);
  void AddMessage(const std::string& strIcon, const std::string& strText);
  void SetInterrupted(bool bInterrupted) { m_bInterrupted = bInterrupted; }
  // Why the run failed (common/FailureReason.h), "" for success: "reason"
  // is then null.
  void SetReason(const std::string& strReason) { m_strReason = strReason; }

  // The end of the run: its exit status, and whether a signal stopped it.
  // Controllers still running are "failed", those never started stay
  // "not reached"; "updated" is true only for an update that ended
  // with code 0, not stopped, every controller "ok".
  void Finish(int nCode, bool bInterrupted);

  // The record as it stands (finished or not).
  nlohmann::ordered_json Json() const;
  // The document as text, invalid UTF-8 replaced; "" only when even that
  // failed (out of memory).
  std::string Text() const;
  // Writes the document to a temporary file beside strPath, then renames it
  // into place. 1 on success; else 0 and the reason in *pstrError.
  int Write(const std::string& strPath, std::string* pstrError) const;

  struct Controller {
    std::string strName;
    std::string strContainer;
    std::string strIdentification;
    std::string strPreviousVersion;
    int nPages = 0;
    int nConfirmed = 0;
    bool bStarted = false;
    bool bEnded = false;
    int nResult = 0;
  };
  const std::vector<Controller>& Controllers() const { return m_controllers; }

  // ---- TransferEvents --------------------------------------------------------
  void OnUpdateStarted(const UpdateStartedEvent& e) override;
  void OnContainerLoaded(const ContainerLoadedEvent& e) override;
  void OnListSigned(const ListSignedEvent& e) override;
  void OnControllerStarted(const ControllerStartedEvent& e) override;
  void OnIdentification(const IdentificationEvent& e) override;
  void OnPage(const PageEvent& e) override;
  void OnControllerEnded(const ControllerEndedEvent& e) override;

 private:
  Controller* Find(const std::string& strName);

  std::string m_strProgram, m_strVersion, m_strBrand, m_strFirmwareVersion;
  bool m_bStarted = false;  // an update started
  std::string m_strDevice, m_strInterface, m_strPort, m_strAdapter;
  std::string m_strStarted, m_strFinished;
  std::chrono::steady_clock::time_point m_start;
  double m_dSeconds = 0;
  bool m_bFinished = false;
  nlohmann::ordered_json m_containers = nlohmann::ordered_json::array();
  std::string m_strSignatureKey;  // the id of the key that signed the run's list, "" when unsigned
  std::vector<Controller> m_controllers;
  nlohmann::ordered_json m_messages = nlohmann::ordered_json::array();
  int m_nCode = 0;
  std::string m_strReason;
  bool m_bInterrupted = false;
};

// Now as UTC ISO 8601 with seconds and Z: "2026-12-08T02:36:04Z".
std::string UtcNow();
// A JSON document as the record is written (indented, invalid UTF-8
// replaced, a newline at the end); "" only when that failed.
std::string DocumentText(const nlohmann::ordered_json& j);
// Writes strText to a temporary file beside strPath, then renames it into
// place. 1 on success; else 0 and the reason in *pstrError.
int WriteDocument(const std::string& strPath, const std::string& strText, std::string* pstrError);
// One JSON text on one line, invalid UTF-8 replaced; never throws.
std::string JsonLine(const nlohmann::ordered_json& j);

}  // namespace ui
