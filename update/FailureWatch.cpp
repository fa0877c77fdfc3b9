#include "update/FailureWatch.h"

#include "common/ResultCodes.h"

void FailureWatch::OnControllerStarted(const ControllerStartedEvent& e) {
  m_strController = e.strController;
  m_strContainer = e.strContainer;
  m_nPages = e.nPages;
  m_nLastPage = 0;
  m_bRunning = true;
}

void FailureWatch::OnIdentification(const IdentificationEvent& e) {
  // Only a controller that did not answer as expected matters for a reason.
  if (e.strIdentification == e.strExpected) return;
  m_bIdentification = true;
  m_strIdentification = e.strIdentification;
  m_strExpected = e.strExpected;
}

void FailureWatch::OnPage(const PageEvent& e) {
  m_nLastPage = e.nPage;
  if (e.outcome != PageOutcome::Confirmed && m_nBadPage == 0) {
    m_nBadPage = e.nPage;
    m_strBadController = e.strController;
    m_strBadContainer = m_strContainer;
    m_nBadPages = e.nPages;
  }
}

void FailureWatch::OnControllerEnded(const ControllerEndedEvent& e) {
  m_bRunning = false;
  if (e.nResult != 0 && m_strFailedController.empty()) {
    m_strFailedController = e.strController;
    m_strFailedContainer = m_strContainer;
  }
}

void FailureWatch::AddTo(FailureFacts& facts, std::int32_t nCode) const {
  if (!m_strBadController.empty()) {
    facts.strController = m_strBadController;
    facts.strContainer = m_strBadContainer;
    facts.nPage = m_nBadPage;
    facts.nPages = m_nBadPages;
  } else if (!m_strFailedController.empty() || (nCode != kResultOk && m_bRunning)) {
    // A controller that failed, or is failing now (its box comes before
    // its end): without a page outcome, an address not echoed is on the
    // page after the last one answered.
    facts.strController = m_strFailedController.empty() ? m_strController : m_strFailedController;
    facts.strContainer = m_strFailedController.empty() ? m_strContainer : m_strFailedContainer;
    if (nCode == kErrorAddressEcho) {
      facts.nPage = m_nLastPage + 1;
      facts.nPages = m_nPages;
    }
  }
  if (m_bIdentification) {
    facts.bIdentification = true;
    facts.strIdentification = m_strIdentification;
    facts.strExpected = m_strExpected;
  }
}
