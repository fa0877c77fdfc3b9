// Lines that say why: after the message boxes of a failed action the console
// adds one line of its own on standard error, in the user's terms. The boxes
// keep the window's texts; these lines say what the boxes cannot (which
// device path, what the system answered, where in the update it stopped).
#include <memory>

#include "app/UpdateDialog.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"
#include "update/TransferEvents.h"

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ui {

// Follows an update to know where a failure happened: the controller, its
// container and the first page that went wrong.
class ConsoleWhere : public TransferEvents {
 public:
  void OnUpdateStarted(const UpdateStartedEvent&) override { *this = ConsoleWhere(); }
  void OnListSignature(const ListSignatureEvent& e) override { m_strSignatureRefusal = e.strRefusal; }
  void OnControllerStarted(const ControllerStartedEvent& e) override {
    m_strController = e.strController;
    m_strContainer = e.strContainer;
    m_nPages = e.nPages;
    m_nLastPage = 0;
  }
  void OnPage(const PageEvent& e) override {
    m_nLastPage = e.nPage;
    if (e.outcome != PageOutcome::Confirmed && m_nBadPage == 0) {
      m_nBadPage = e.nPage;
      m_strBadController = e.strController;
      m_strBadContainer = m_strContainer;
      m_nBadPages = e.nPages;
    }
  }
  void OnControllerEnded(const ControllerEndedEvent& e) override {
    if (e.nResult != 0 && m_strFailedController.empty()) {
      m_strFailedController = e.strController;
      m_strFailedContainer = m_strContainer;
      // A stop without a page outcome (address not echoed) is on the page
      // after the last one answered.
      if (m_nBadPage == 0 && e.nResult == kErrorAddressEcho) {
        m_nBadPage = m_nLastPage + 1;
        m_strBadController = e.strController;
        m_strBadContainer = m_strContainer;
        m_nBadPages = m_nPages;
      }
    }
  }

  // "controller ch2, page 17 of 80, file FW2B.qrt", or "" when no
  // controller was reached.
  std::string Where() const {
    std::string strController = m_strBadController.empty() ? m_strFailedController : m_strBadController;
    std::string strFile = m_strBadController.empty() ? m_strFailedContainer : m_strBadContainer;
    if (strController.empty()) return "";
    std::string s = "controller " + strController;
    if (m_nBadPage > 0) s += ", page " + std::to_string(m_nBadPage) + " of " + std::to_string(m_nBadPages);
    if (!strFile.empty()) s += ", file " + strFile;
    return s;
  }

  // Why the list's signature refused the update, "" when it did not.
  const std::string& SignatureRefusal() const { return m_strSignatureRefusal; }

 private:
  std::string m_strSignatureRefusal;
  std::string m_strController, m_strContainer;
  int m_nPages = 0;
  int m_nLastPage = 0;
  int m_nBadPage = 0;
  int m_nBadPages = 0;
  std::string m_strBadController, m_strBadContainer;
  std::string m_strFailedController, m_strFailedContainer;
};

namespace {

#ifndef _WIN32
// Why a device path could not be opened, found by looking at it again: the
// system's error text alone does not say which group to join, nor whether
// another program holds the port.
std::string PortReason(const std::string& strPath) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return "not found: no device at this path (is it plugged in?)";
  if (::access(strPath.c_str(), R_OK | W_OK) != 0) {
    std::string s = "no permission to read and write it";
    if (const group* g = ::getgrgid(st.st_gid)) {
      std::string strGroup = g->gr_name;
      if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        s += "; it belongs to the group " + strGroup + ": add yourself to the group " + strGroup +
             " (sudo usermod -aG " + strGroup + " $USER, then log in again)";
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
      const passwd* pw = ::getpwuid(st.st_uid);
      s += "; only its owner " + (pw ? std::string(pw->pw_name) : std::to_string(st.st_uid)) +
           " may open it (mode " + std::to_string((st.st_mode >> 6) & 7) + std::to_string((st.st_mode >> 3) & 7) +
           std::to_string(st.st_mode & 7) + ")";
    }
    return s;
  }
  if (!S_ISCHR(st.st_mode)) return "not a serial device (not a character device)";
  // Look again, without changing the line: a second opener meets the lock
  // or the exclusive mode of the program that holds it.
  int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EBUSY) return "in use by another program (it holds the port exclusively)";
    return "";
  }
  bool bLocked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  bool bTty = ::isatty(fd) != 0;
  ::close(fd);
  if (bLocked) return "in use by another program: its lock is taken (is another update running on it?)";
  if (!bTty) return "not a serial device (not a terminal)";
  return "";
}
#else
std::string PortReason(const std::string&) { return ""; }
#endif

}  // namespace

ConsoleFrontEnd::~ConsoleFrontEnd() { WatchWhere(false); }

void ConsoleFrontEnd::WatchWhere(bool bOn) {
  if (bOn) {
    if (!m_pWhere) m_pWhere = std::make_shared<ConsoleWhere>();
    AddTransferObserver(m_pWhere.get());
  } else if (m_pWhere) {
    RemoveTransferObserver(m_pWhere.get());
  }
}

void ConsoleFrontEnd::SayWhy(fw::Dialog& dlg, const std::string& strAction, std::int32_t nCode) {
  if (nCode == kResultOk) return;
  auto& upd = static_cast<UpdateDialog&>(dlg);
  m_out.flush();
  if (nCode == kErrorPortOpen && strAction == "update" && IsComInterface(upd.m_nInterface)) {
    const std::string strPath = platform::ComPortPath(upd.m_nInterface);
    std::string strReason = PortReason(strPath);
    const std::string strSystem = upd.Link().LastError();
    if (strReason.empty()) strReason = strSystem.empty() ? "the system gave no reason" : strSystem;
    else if (!strSystem.empty()) strReason += " [" + strSystem + "]";
    m_err << "qrtupdate: COM" << upd.m_nInterface << " (" << (strPath.empty() ? "no path" : strPath)
          << ") not opened: " << strReason << "\n";
  } else {
    m_err << "qrtupdate: code " << nCode << ": " << ResultMeaning(nCode);
    const std::string strWhere = strAction == "update" && m_pWhere ? m_pWhere->Where() : "";
    if (!strWhere.empty()) m_err << "; at " << strWhere;
    if (strAction == "update" && m_pWhere && !m_pWhere->SignatureRefusal().empty())
      m_err << "; " << m_pWhere->SignatureRefusal();
    // A GPIB board that could not be reached says why in the link's words.
    if (nCode == kErrorPortOpen && strAction == "update") {
      const std::string strSystem = upd.Link().LastError();
      if (!strSystem.empty()) m_err << "; " << strSystem;
    }
    m_err << "\n";
  }
  m_err.flush();
}

void ConsoleFrontEnd::SayNoBrand(const std::string& strFileName) {
  m_err << "qrtupdate: the name '" << strFileName
        << "' holds no brand word (TALVO, OP or MURELL): the program's file name chooses the brand, the "
           "firmware version (after FWV) and the device list; "
#ifdef _WIN32
           "copy or rename it to a name such as QRT_Update_OP_FWV2.04.exe and start that, "
#else
           "make a link such as 'ln -s qrtupdate QRT_Update_OP_FWV2.04' and start that, "
#endif
           "or give --as QRT_Update_OP_FWV2.04\n";
  m_err.flush();
}

}  // namespace ui
