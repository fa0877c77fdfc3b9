// What the update's transfers need from their owner (the main window): the
// device link, the pauses, and the window's list, progress bar and message
// boxes. The owner implements it; the transfers know nothing else of it.
#pragma once
#include <string>

enum class UpdateMsgIcon { Warning, Information };

class UpdateHost {
 public:
  virtual ~UpdateHost() = default;

  // Device link: the characters go out unchanged, nothing is added.
  virtual void SendString(const std::string& str) = 0;
  // At most n characters; shorter when the device fell silent.
  virtual std::string ReceiveString(int n) = 0;
  // Discards pending input when the link is a COM port; nothing otherwise.
  virtual void PurgeIfCom() = 0;
  virtual void Sleep(unsigned milliseconds) = 0;

  // Window: list line at the top, progress bar, modal OK box.
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
  // Index of the device list's selection (read after UpdateFields).
  virtual int DeviceSelection() = 0;
};
