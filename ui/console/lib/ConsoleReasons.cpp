// Lines that say why: after the message boxes of a failed action the console
// adds one line of its own on standard error, in the user's terms. The boxes
// keep the window's texts; these lines say what the boxes cannot (which
// device path, what the system answered, where in the update it stopped).
#include "app/UpdateDialog.h"
#include "common/FailureReason.h"
#include "common/TerminalText.h"
#include "platform/platform.h"
#include "ui/console/lib/Console.h"

namespace ui {

void ConsoleFrontEnd::SayWhy(fw::Dialog& dlg, const std::string& strAction, std::int32_t nCode) {
  if (nCode == kResultOk) return;
  auto& upd = static_cast<UpdateDialog&>(dlg);
  m_out.flush();
  // The dialog keeps the facts of its last command's failure; where in an
  // update only matters for an update.
  FailureFacts facts = upd.Failure();
  facts.nCode = nCode;
  if (strAction != "update") {
    facts.strController.clear();
    facts.nPage = 0;
    facts.bIdentification = false;
  }
  m_strReason = FailureReason(facts);
  m_err << "qrtupdate: " << TerminalText(FailureLine(facts)) << "\n";
  m_err.flush();
}

void ConsoleFrontEnd::NoteReason(std::int32_t nCode, const std::string& strDetail) {
  FailureFacts facts;
  facts.nCode = nCode;
  facts.strDetail = strDetail;
  m_strReason = FailureReason(facts);
}

#ifndef _WIN32
namespace {

// A link that works from whatever folder it is made in: its target is the
// program's own file by its absolute path (a bare 'qrtupdate' would dangle
// anywhere but beside the program). Quoted for the shell when it needs it.
std::string LinkHint() {
  std::string strTarget = platform::ExecutablePath();
  if (strTarget.empty()) strTarget = "/usr/bin/qrtupdate";
  if (strTarget.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+") !=
      std::string::npos) {
    std::string strQuoted = "\"";
    for (char c : strTarget) {
      if (c == '"' || c == '\\' || c == '$' || c == '`') strQuoted += '\\';
      strQuoted += c;
    }
    strTarget = strQuoted + "\"";
  }
  return "make a link such as 'ln -s " + strTarget + " QRT_Update_OP_FWV2.04' and start that, ";
}

}  // namespace
#endif

void ConsoleFrontEnd::SayNoBrand(const std::string& strFileName) {
  // "TALVO, OP or MURELL"
  std::string strWords;
  for (int nBrand = 0; nBrand < kBrandCount; ++nBrand) {
    if (nBrand > 0) strWords += nBrand + 1 == kBrandCount ? " or " : ", ";
    strWords += kBrandWords[nBrand];
  }
  m_err << "qrtupdate: the name '" << strFileName << "' holds no brand word (" << strWords
        << "): the program's file name chooses the brand, the "
           "firmware version (after FWV) and the device list; "
#ifdef _WIN32
           "copy or rename it to a name such as QRT_Update_OP_FWV2.04.exe and start that, "
#else
        << LinkHint()
#endif
        << "or give --as QRT_Update_OP_FWV2.04\n";
  m_err.flush();
  NoteReason(kExitNoBrand, "the name '" + strFileName + "' holds no brand word (" + strWords + ")");
}

}  // namespace ui
