#include "ui/console/lib/CreateNotes.h"

#include <cstdio>
#include <string>

namespace ui {

namespace {
std::string Hex(unsigned n, int nDigits) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%0*X", nDigits, n);
  return sz;
}
}  // namespace

void ConsoleCreateNotes::OnHexRecordType(const HexRecordTypeEvent& e) {
  m_err << "qrtupdate: " << e.strHexFile << " line " << e.nLine << ": record type " << Hex(static_cast<unsigned>(e.nType), 2)
        << " is not read (only types 00 to 05 are); nothing was written from this file\n";
  m_err.flush();
}

void ConsoleCreateNotes::OnDataBeyondSentPages(const DataBeyondSentPagesEvent& e) {
  const unsigned nLastSent = static_cast<unsigned>(e.nPagesSent) * 256u - 1u;
  m_err << "qrtupdate: warning: " << e.strHexFile << " holds data up to address 0x"
        << Hex(static_cast<unsigned>(e.nHighestAddress), 1) << ", but an update sends only the first " << e.nPagesSent
        << " pages of " << e.strContainer << " (0x0 to 0x" << Hex(nLastSent, 1)
        << "); the container holds that data, the device never receives it\n";
  m_err.flush();
}

void ConsoleCreateNotes::OnContainersKept(const ContainersKeptEvent& e) {
  m_err << "qrtupdate: " << e.strReason << "; no container was replaced, the earlier ones are as they were\n";
  m_err.flush();
}

}  // namespace ui
