// update --dry-run: a rehearsal before a production run. The update itself
// runs with UpdateDialog::m_bDryRun set, so every check it makes before its
// first byte is its own (the bundle rule, the signature, the model's
// containers, the port opened with its settings); then the console shows
// the plan: the model, the port and its adapter, each controller with its
// container, digest and pages, and the time the transfer takes on the wire.
#include <string>
#include <vector>

#include "app/UpdateDialog.h"
#include "image/ChecksumList.h"
#include "image/Container.h"
#include "platform/digest.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"
#include "update/Models.h"
#include "update/PageTransfer.h"

namespace ui {

namespace {

// The line speed the devices update at.
constexpr long kUpdateBaud = 19200;

// Characters of one controller's transfer of nPages pages (start command,
// identification, version, announcement and its echo, the pages; a
// channel's selection and closing character too).
long ControllerCharacters(bool bChannel, int nPages) {
  return (bChannel ? 4 + 3 + 9 + 8 + 6 + 6 + 1 : 4 + 7 + 8 + 6 + 6) + long{nPages} * kPageWireBytes;
}

struct PlannedController {
  std::string strName;       // "main", "ch1" .. "ch4"
  std::string strContainer;  // "FW1C.qrt"
  std::string strSha256;     // of the container as checked now
  int nPages = 0;
};

std::string DurationText(double dSeconds) {
  const long nSeconds = static_cast<long>(dSeconds + 0.5);
  return nSeconds >= 60 ? std::to_string(nSeconds / 60) + " min " + std::to_string(nSeconds % 60) + " s"
                        : std::to_string(nSeconds) + " s";
}

}  // namespace

bool ConsoleFrontEnd::DryRunUpdate(UpdateDialog& upd) {
  // The record's place was checked before the run began, as for an update.
  const ModelRow* pRow = FindModel(g_nBrand, ComboGetCurSel(upd, IDC_DEVICE));
  if (pRow == nullptr) {
    Refuse(kExitUsage, "no power supply chosen: give --device with a model of this brand's list");
    return false;
  }
  upd.m_bDryRun = true;
  Click(upd, IDC_UPDATE);
  upd.m_bDryRun = false;
  if (upd.m_nError != kResultOk) return true;  // the update's own code and reason

  // The plan, as the run would go: containers checked again now for their
  // digests (the update checks them once more before each is sent).
  BundleList bundle;
  std::vector<PlannedController> controllers;
  std::string strContainer;
  // The protocol's own pauses: before "FWU0" and "FWUE", two per channel.
  double dSeconds = 0.100 + 0.100;
  long nCharacters = 4;             // "FWUE"
  for (const PlanStep& step : pRow->steps) {
    if (step.kind == PlanStepKind::End) break;
    if (step.kind == PlanStepKind::Load) {
      strContainer = step.pszFile;
      continue;
    }
    const bool bChannel = step.kind == PlanStepKind::Channel;
    PlannedController c;
    c.strName = bChannel ? "ch" + std::to_string(step.nChannel + 1) : "main";
    c.strContainer = strContainer;
    c.nPages = bChannel ? upd.m_nChannelPages : pRow->bLargeFront ? upd.m_nFrontPagesLarge : upd.m_nFrontPagesSmall;
    const BundleFileCheck check = CheckBundleFile(bundle, strContainer, kImageSize);
    if (check.bDigest) c.strSha256 = platform::Sha256Hex(check.digest);
    nCharacters += ControllerCharacters(bChannel, c.nPages);
    if (bChannel) dSeconds += 0.200;
    controllers.push_back(c);
  }
  dSeconds += static_cast<double>(nCharacters) * 10.0 / kUpdateBaud;

  const LinkAddress address = upd.ChosenAddress();
  const int nCom = ComNumberOf(address);
  std::string strPort = nCom > 0 ? platform::ComPortPath(nCom) : "";
  std::string strAdapter = upd.Link().Description();
  if (strAdapter.empty() && nCom > 0) {
    std::vector<std::string> notes;
    for (const platform::ComPortEntry& port : platform::ListComPorts(&notes))
      if (port.n == nCom) strAdapter = port.strDescription;
  }

  m_out << "dry run: " << pRow->pszModel << " on " << LinkAddressName(address);
  if (!strPort.empty()) m_out << " (" << strPort << (strAdapter.empty() ? "" : ", " + strAdapter) << ")";
  m_out << "\n";
  for (const PlannedController& c : controllers)
    m_out << "  " << c.strName << "\t" << c.strContainer << "\t" << c.nPages << " pages\tsha256 " << c.strSha256
          << "\n";
  m_out << "expected time at " << kUpdateBaud << " baud: " << DurationText(dSeconds)
        << "\nthe port was opened and closed again; nothing was sent\n";
  m_out.flush();

  nlohmann::ordered_json plan = {{events::kEvent, "plan"},
                                 {"model", pRow->pszModel},
                                 {events::kInterface, LinkAddressName(address)},
                                 {events::kPath, strPort},
                                 {"adapter", strAdapter},
                                 {"controllers", nlohmann::ordered_json::array()},
                                 {"baud", kUpdateBaud},
                                 {"seconds", static_cast<double>(static_cast<long>(dSeconds * 10 + 0.5)) / 10}};
  for (const PlannedController& c : controllers)
    plan["controllers"].push_back(
        {{events::kName, c.strName}, {"container", c.strContainer}, {"sha256", c.strSha256}, {"pages", c.nPages}});
  JsonEvent(plan);
  return true;
}

}  // namespace ui
