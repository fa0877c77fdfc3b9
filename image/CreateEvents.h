// What the container-creation command meets besides its message boxes, as
// events a front end can report in its own words: a HEX file of a record
// type the import does not read, and a container holding data beyond the
// pages an update sends, and a set of containers that could not be put in
// place. Every method has an empty default.
#pragma once
#include <cstdint>
#include <string>

struct HexRecordTypeEvent {
  std::string strHexFile;  // as opened ("QRT_front14x0.hex")
  int nLine = 0;           // 1-based line of the record
  int nType = 0;           // its record type
};

struct DataBeyondSentPagesEvent {
  std::string strHexFile;
  std::string strContainer;         // "FW1C.qrt", written all the same
  int nPagesSent = 0;               // pages of it an update sends
  std::int32_t nHighestAddress = 0;  // highest address holding data
};

struct ContainersKeptEvent {
  std::string strReason;  // what stopped the set, naming the file
};

class CreateEvents {
 public:
  virtual ~CreateEvents() = default;
  virtual void OnHexRecordType(const HexRecordTypeEvent&) {}
  virtual void OnDataBeyondSentPages(const DataBeyondSentPagesEvent&) {}
  // The new containers could not all be put in place: none was, the
  // earlier ones stay.
  virtual void OnContainersKept(const ContainersKeptEvent&) {}
};

// The process's observers, registered by front ends before a command runs
// and removed after; the commands run on one thread.
void AddCreateObserver(CreateEvents* pObserver);
void RemoveCreateObserver(CreateEvents* pObserver);
// Fans every event out to the registered observers, in registration order.
CreateEvents& CreateObservers();
