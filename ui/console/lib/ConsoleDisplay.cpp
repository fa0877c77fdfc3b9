// What the console shows: list lines on standard output, message boxes and
// the progress bar on standard error, and the window state for "show".
#include "app/res/resource.h"
#include "common/TerminalText.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"
#include "update/Models.h"
#include "update/PageTransfer.h"

namespace ui {

namespace {

const char* IconName(fw::MsgIcon icon) {
  switch (icon) {
    case fw::MsgIcon::Information:
      return "information";
    case fw::MsgIcon::Error:
      return "error";
    case fw::MsgIcon::Warning:
      break;
  }
  return "warning";
}

// "1:05": minutes and seconds, rounded up, so that "0:00" never shows
// while a page is still to go.
std::string MinutesSeconds(double dSeconds) {
  const long nSeconds = static_cast<long>(dSeconds) + (dSeconds > static_cast<long>(dSeconds) ? 1 : 0);
  const long nRest = nSeconds % 60;
  return std::to_string(nSeconds / 60) + ":" + (nRest < 10 ? "0" : "") + std::to_string(nRest);
}

}  // namespace

void ConsoleFrontEnd::Show(fw::Dialog& dlg) {
  auto selected = [&](int id) { return ComboGetText(dlg, id, ComboGetCurSel(dlg, id)); };
  std::string devices;
  for (int i = 0; i < ComboGetCount(dlg, IDC_DEVICE); ++i)
    devices += (i ? " | " : "") + ComboGetText(dlg, IDC_DEVICE, i);
  m_out << "title: " << GetWindowText(dlg) << "\n"
        << "brand-line: " << GetItemText(dlg, IDC_BRANDLINE) << "\n"
        << "banner: " << (IsItemVisible(dlg, IDC_BANNER_ZVN) ? "ZVN" : "QRT") << "\n"
        << "interface: " << selected(IDC_INTERFACE) << "\n"
        << "device: " << selected(IDC_DEVICE) << "\n"
        << "devices: " << devices << "\n"
        << "device-list: " << (IsItemEnabled(dlg, IDC_DEVICE) ? "enabled" : "disabled") << "\n"
        << "update-button: " << GetItemText(dlg, IDC_UPDATE) << "\n"
        << "create-enc-file: " << (IsItemVisible(dlg, IDC_CREATE_ENC) ? "shown" : "hidden") << "\n";
  m_out.flush();
}

void ConsoleFrontEnd::OnMessageBox(const RecordedBox& box) {
  // After a stop the transfer's own boxes ("Error occured! Code:4", a port
  // that cannot be opened) describe the cut, not the device: the stop's own
  // line, the record's "interrupted" and the result say what happened. Once
  // the closing command went, the boxes tell how the update ended.
  if (StopCutRun()) return;
  m_record.AddMessage(IconName(box.icon), box.text);
  if (m_pJson) {
    JsonEvent(events::MessageEvent(box.caption, IconName(box.icon), box.text));
    return;
  }
  HideProgressBar();
  m_out.flush();
  // A box may quote the device: its bytes never reach the terminal as
  // commands (the record and the stream keep them, as JSON text).
  m_err << TerminalText(box.caption) << " (" << IconName(box.icon) << "): " << TerminalLines(box.text) << "\n";
  m_err.flush();
  RedrawProgressBar();
}

void ConsoleFrontEnd::OnListInsert(fw::Dialog&, int, const std::string& text) {
  if (m_pJson) {
    JsonEvent(events::ListEvent(text));
    return;
  }
  HideProgressBar();
  // "Previous firmware main controller: ..." holds the device's reply.
  m_out << TerminalText(text) << "\n";
  m_out.flush();
  RedrawProgressBar();
}

void ConsoleFrontEnd::OnProgress(fw::Dialog&, const MemoryControl& c) {
  JsonEvent(events::ProgressEvent(c.position, c.rangeLower, c.rangeUpper));
  if (!m_bProgressBar) return;
  int span = c.rangeUpper - c.rangeLower;
  int done = c.position - c.rangeLower;
  const int width = 40;
  int filled = span > 0 ? done * width / span : width;
  if (filled < 0) filled = 0;
  if (filled > width) filled = width;
  m_strProgressBar = "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] " +
                     std::to_string(done + 1) + "/" + std::to_string(span + 1) + " ";
  if (!m_strProgressController.empty()) {
    // The pages to go of this controller and of those not yet started, at
    // what the line carries: the time left at best.
    int nPagesLeft = span - done + 1;
    for (const UpdateRecord::Controller& c : m_record.Controllers()) {
      const ContainerInfo* pInfo = c.bStarted ? nullptr : FindContainer(c.strContainer);
      if (pInfo) nPagesLeft += pInfo->nPages;
    }
    m_strProgressBar += m_strProgressController + ", " + MinutesSeconds(PagesWireSeconds(nPagesLeft)) + " left ";
  }
  m_err << "\r" << m_strProgressBar;
  m_err.flush();
  m_bProgressLineOpen = true;
}

// The bar's line is blanked (spaces over the bar, back to its start) so that
// a list line or a box takes its place and the bar comes back below. Spaces
// rather than an erase sequence: a Windows console without terminal
// sequences shows those as text.
void ConsoleFrontEnd::HideProgressBar() {
  if (!m_bProgressLineOpen) return;
  m_err << "\r" << std::string(m_strProgressBar.size(), ' ') << "\r";
  m_err.flush();
}

void ConsoleFrontEnd::RedrawProgressBar() {
  if (!m_bProgressLineOpen) return;
  m_err << "\r" << m_strProgressBar;
  m_err.flush();
}

void ConsoleFrontEnd::EndProgressLine() {
  if (m_bProgressLineOpen) m_err << "\n";
  m_bProgressLineOpen = false;
  m_strProgressBar.clear();
}

}  // namespace ui
