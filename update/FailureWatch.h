// Follows an update to keep the facts its failure's reason is made of
// (common/FailureReason.h): the controller, its container and the first page
// that went wrong, and the identification a controller answered.
#pragma once
#include "common/FailureReason.h"
#include "update/TransferEvents.h"

class FailureWatch : public TransferEvents {
 public:
  void OnUpdateStarted(const UpdateStartedEvent&) override { *this = FailureWatch(); }
  void OnControllerStarted(const ControllerStartedEvent& e) override;
  void OnIdentification(const IdentificationEvent& e) override;
  void OnPage(const PageEvent& e) override;
  void OnControllerEnded(const ControllerEndedEvent& e) override;

  // Adds what is known of where the update failed to facts, with the code
  // the failure left (an address not echoed is on the page after the last
  // one answered).
  void AddTo(FailureFacts& facts, std::int32_t nCode) const;

 private:
  std::string m_strController, m_strContainer;
  int m_nPages = 0;
  bool m_bRunning = false;  // a controller's transfer started and not yet ended
  int m_nLastPage = 0;
  int m_nBadPage = 0;
  int m_nBadPages = 0;
  std::string m_strBadController, m_strBadContainer;
  std::string m_strFailedController, m_strFailedContainer;
  bool m_bIdentification = false;
  std::string m_strIdentification, m_strExpected;
};
