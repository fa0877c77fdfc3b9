// The main window in the in-memory front end, with its COM port opened and
// set up on the test peer as the update command leaves it.
#pragma once
#include <memory>
#include <string>

#include "tests/app/fixture.h"
#include "tests/link/WirePort.h"

struct DialogOnWire : WindowFixture {
  DialogOnWire() : WindowFixture("C:\\QRT\\QRT_Update_TALVO_FWV2.04.exe") {}
  // The window (and its open port) goes before the test peer does.
  ~DialogOnWire() { dlg.reset(); }
  // Opens the port with the update's settings; read time-out per character
  // as given (the update's 700 ms unless a test wants to be quick).
  bool OpenPort(unsigned nReadConstant = 500, unsigned nReadMultiplier = 200) {
    dlg->m_nInterface = wire.com;
    if (!dlg->m_serial.OpenPort(wire.com)) return false;
    dlg->m_serial.SetTimeouts(wire.com, 200, nReadMultiplier, nReadConstant, 100, 1000);
    return dlg->m_serial.ConfigurePort(wire.com, 19200, 8, 0, 0, 0, 0, 0) == 1;
  }
  std::string ListLine(int i) { return w->Find(IDC_LIST)->items.at(static_cast<size_t>(i)); }
  size_t ListCount() { return w->Find(IDC_LIST)->items.size(); }

  WirePort wire;
};
