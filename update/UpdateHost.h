// What the update's transfers work with, in three parts: the link half (the
// device link of the run and the pauses between steps), the window half
// (the window's list, progress bar and message boxes), and the events that
// any front end or observer may follow. The owner (the main window) lends
// all three; the transfers know nothing else of it.
#pragma once
#include <functional>
#include <string>

#include "link/DeviceLink.h"
#include "update/TransferEvents.h"

enum class UpdateMsgIcon { Warning, Information };

class TransferWindow {
 public:
  virtual ~TransferWindow() = default;
  // List line at the top, progress bar, modal OK box.
  virtual void ListInsert(const std::string& line) = 0;
  virtual void ProgressRange(int lower, int upper) = 0;
  virtual void ProgressPos(int pos) = 0;
  virtual void Message(const std::string& text, UpdateMsgIcon icon) = 0;
  // Controls from the fields, then an immediate repaint.
  virtual void RefreshNow() = 0;
  // Controls from the fields, no repaint.
  virtual void UpdateControls() = 0;
  // Fields from the controls.
  virtual void UpdateFields() = 0;
};

struct UpdateHost {
  DeviceLink& link;                     // characters to and from the device
  std::function<void(unsigned)> pause;  // a pause in milliseconds
  TransferWindow& window;
  TransferEvents& events;
};
