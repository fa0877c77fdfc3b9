// What happens during an update, as events any front end or observer can
// follow without reading list lines: the update's start and end, each
// controller's start, identification, pages and end. Every method has an
// empty default, so an observer overrides only what it needs.
#pragma once
#include <cstdint>
#include <string>

enum class PageOutcome {
  Confirmed,        // checksum answered "A2"
  Refused,          // checksum answered "E2"
  Unconfirmed,      // checksum answered neither
  NotAcknowledged,  // page data not answered "A1"
};

struct UpdateStartedEvent {
  std::int32_t nBrand = 0;
  std::string strBrand;      // "TALVO", "OP", "MURELL"
  std::string strModel;      // "QRT1440"
  std::string strInterface;  // "COM3", "GPIB"
};

struct ControllerStartedEvent {
  std::string strController;  // "main", "ch1" .. "ch4"
  std::string strContainer;   // "FW1C.qrt"
  int nPages = 0;             // pages announced
};

struct IdentificationEvent {
  std::string strController;
  std::string strIdentification;   // the reply as read
  std::string strPreviousVersion;  // the version reply as read ("" when not reached)
};

struct PageEvent {
  std::string strController;
  int nPage = 0;  // 1-based, as the list lines count
  int nPages = 0;
  PageOutcome outcome = PageOutcome::Confirmed;
};

struct ControllerEndedEvent {
  std::string strController;
  std::int32_t nResult = 0;  // the transfer's code, 0 for success
};

struct UpdateEndedEvent {
  std::int32_t nCode = 0;
};

class TransferEvents {
 public:
  virtual ~TransferEvents() = default;
  virtual void OnUpdateStarted(const UpdateStartedEvent&) {}
  virtual void OnControllerStarted(const ControllerStartedEvent&) {}
  virtual void OnIdentification(const IdentificationEvent&) {}
  virtual void OnPage(const PageEvent&) {}
  virtual void OnControllerEnded(const ControllerEndedEvent&) {}
  virtual void OnUpdateEnded(const UpdateEndedEvent&) {}
};

// The process's observers. The update is single-threaded; observers are
// registered by front ends before a command runs and removed after.
void AddTransferObserver(TransferEvents* pObserver);
void RemoveTransferObserver(TransferEvents* pObserver);
// Fans every event out to the registered observers, in registration order.
TransferEvents& TransferObservers();
