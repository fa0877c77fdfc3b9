// What happens during an update, as events any front end or observer can
// follow without reading list lines: the update's start and end, each
// container loaded, each controller's start, identification, pages and end. Every method has an
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

// A container read into the image for sending, with the digest of the bytes
// that will be sent (not of the file, which may change afterwards).
struct ContainerLoadedEvent {
  std::string strFile;      // "FW1C.qrt"
  std::uint64_t nBytes = 0;  // bytes read into the image
  std::string strSha256;    // 64 lower-case hex digits, "" when not computed
  std::string strListedIn;  // "SHA256SUMS" when checked against that list, else ""
};

// A container refused before anything of it was sent (code 7), with why in
// the user's words: the box keeps the window's text, this says what it cannot.
struct ContainerRefusedEvent {
  std::string strFile;    // "FW2B.qrt"
  std::string strReason;  // "FW2B.qrt holds more than 128000 bytes; ..."
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
  std::string strExpected;         // the reply the model's controller gives ("QRT1440")
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

// The bundle's list verified with a trusted key before the link opened.
struct ListSignedEvent {
  std::string strList;   // "SHA256SUMS"
  std::string strKeyId;  // 16 hex digits: the start of the SHA-256 of the key's DER form
};

// The closing command was written to the link: from here on the device may
// take its update as complete, whatever the run still finds out.
struct ClosingSentEvent {
  std::string strCommand;  // "FWUE"
};

struct UpdateEndedEvent {
  std::int32_t nCode = 0;
};

class TransferEvents {
 public:
  virtual ~TransferEvents() = default;
  virtual void OnUpdateStarted(const UpdateStartedEvent&) {}
  virtual void OnContainerLoaded(const ContainerLoadedEvent&) {}
  virtual void OnContainerRefused(const ContainerRefusedEvent&) {}
  virtual void OnListSigned(const ListSignedEvent&) {}
  virtual void OnControllerStarted(const ControllerStartedEvent&) {}
  virtual void OnIdentification(const IdentificationEvent&) {}
  virtual void OnPage(const PageEvent&) {}
  virtual void OnControllerEnded(const ControllerEndedEvent&) {}
  virtual void OnClosingSent(const ClosingSentEvent&) {}
  virtual void OnUpdateEnded(const UpdateEndedEvent&) {}
};

// The process's observers. The update is single-threaded; observers are
// registered by front ends before a command runs and removed after.
void AddTransferObserver(TransferEvents* pObserver);
void RemoveTransferObserver(TransferEvents* pObserver);
// Fans every event out to the registered observers, in registration order.
TransferEvents& TransferObservers();
