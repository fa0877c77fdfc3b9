// The console's own lines about the container creation, on standard error
// beside the window's messages: where a HEX file holds a record type the
// import does not read, and which data a container holds that an update
// never sends, and why a new set of containers was not put in place.
// Registered for the length of one console run.
#pragma once
#include <ostream>

#include "image/CreateEvents.h"

namespace ui {

class ConsoleCreateNotes : public CreateEvents {
 public:
  explicit ConsoleCreateNotes(std::ostream& err) : m_err(err) { AddCreateObserver(this); }
  ~ConsoleCreateNotes() override { RemoveCreateObserver(this); }
  ConsoleCreateNotes(const ConsoleCreateNotes&) = delete;
  ConsoleCreateNotes& operator=(const ConsoleCreateNotes&) = delete;

  void OnHexRecordType(const HexRecordTypeEvent& e) override;
  void OnDataBeyondSentPages(const DataBeyondSentPagesEvent& e) override;
  void OnContainersKept(const ContainersKeptEvent& e) override;

 private:
  std::ostream& m_err;
};

}  // namespace ui
