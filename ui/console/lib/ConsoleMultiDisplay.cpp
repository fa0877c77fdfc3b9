// Several ports side by side: each child's JSON Lines read back and shown
// as the port's line on a terminal, as prefixed lines otherwise, or passed
// on, tagged with the port, in the parent's own JSON stream.
#include "common/TerminalText.h"
#include "ui/console/lib/ConsoleMulti.h"

#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"

namespace ui {

namespace {

// The terminal display is drawn again at most this often.
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string StateLine(const PortRun& p) {
  std::string s = p.strName + "  " + (p.strController.empty() ? "-" : p.strController);
  if (p.nPages > 0) s += "  page " + std::to_string(p.nPage) + " of " + std::to_string(p.nPages);
  return s + "  " + p.strState;
}

std::string Text(const nlohmann::ordered_json& j, const char* pszKey) {
  return j.contains(pszKey) && j[pszKey].is_string() ? j[pszKey].get<std::string>() : std::string();
}

int Number(const nlohmann::ordered_json& j, const char* pszKey) {
  return j.contains(pszKey) && j[pszKey].is_number_integer() ? j[pszKey].get<int>() : 0;
}

}  // namespace

PortDisplay::PortDisplay(std::ostream& out, std::ostream& err, const PortRuns& ports, bool bBlock, bool bOutTerminal)
    : m_out(out), m_err(err), m_ports(ports), m_bBlock(bBlock), m_bOutTerminal(bOutTerminal) {}

void PortDisplay::Erase() {
  if (m_nBlockLines == 0) return;
  m_err << "\x1b[" << m_nBlockLines << "A\r\x1b[J";
  m_nBlockLines = 0;
}

void PortDisplay::Draw() {
  if (!m_bBlock) return;
  Erase();
  for (const auto& p : m_ports) m_err << StateLine(*p) << "\x1b[K\n";
  m_nBlockLines = m_ports.size();
  m_err.flush();
  m_tDrawn = SeveralClock::now();
}

void PortDisplay::DrawIfDue(bool bChanged) {
  if (m_bBlock && bChanged && SeveralClock::now() - m_tDrawn >= kRedrawEvery) Draw();
}

void PortDisplay::SayLine(const std::string& strLine) {
  m_out.flush();
  Erase();
  m_err << strLine << "\n";
  m_err.flush();
  Draw();
}

void PortDisplay::ListLine(const PortRun& p, const std::string& strText) {
  if (m_bBlock && m_bOutTerminal) return;
  Erase();
  m_out << p.strName << ": " << TerminalText(strText) << "\n";
  m_out.flush();
  Draw();
}

// One line of a child's JSON stream.
void SeveralPorts::OnChildLine(PortRun& p, const std::string& strLine) {
  const nlohmann::ordered_json j = nlohmann::ordered_json::parse(strLine, nullptr, false);
  if (j.is_discarded() || !j.is_object() || !j.contains(events::kEvent) || !j[events::kEvent].is_string()) {
    // Never meant to happen: the child's standard output is its stream.
    m_pDisplay->SayLine(p.strName + ": " + TerminalText(strLine));
    return;
  }
  NoteEvent(p, j);
  const std::string strEvent = j[events::kEvent].get<std::string>();
  if (m_front.m_pJson) {
    // Every event carries its port; a child's result is the port's, and the
    // run's own result stays the one last line.
    nlohmann::ordered_json tagged;
    tagged[events::kEvent] = strEvent == events::kResult ? events::kPortResult : strEvent;
    tagged[events::kInterface] = p.strName;
    for (auto it = j.begin(); it != j.end(); ++it)
      if (it.key() != events::kEvent && it.key() != events::kInterface) tagged[it.key()] = it.value();
    m_front.JsonEvent(tagged);
  } else if (strEvent == events::kList) {
    m_pDisplay->ListLine(p, Text(j, events::kText));
  } else if (strEvent == events::kMessage) {
    m_pDisplay->SayLine(p.strName + ": " + TerminalText(Text(j, events::kCaption)) + " (" +
                        Text(j, events::kIcon) + "): " + TerminalLines(Text(j, events::kText)));
  }
}

// What the port's line shows: the controller, the page, the state.
void SeveralPorts::NoteEvent(PortRun& p, const nlohmann::ordered_json& j) {
  const std::string strEvent = Text(j, events::kEvent);
  if (strEvent == events::kResult) {
    p.bResult = true;
    p.strReason = Text(j, events::kReason);
  } else if (strEvent == events::kController) {
    p.strController = Text(j, events::kName);
    const std::string strState = Text(j, events::kState);
    p.strState = strState == events::kStarted ? "sending" : strState;
    if (strState == events::kStarted) p.nPage = p.nPages = 0;
  } else if (strEvent == events::kProgress) {
    p.nPage = Number(j, events::kPos) - Number(j, events::kLower) + 1;
    p.nPages = Number(j, events::kUpper) - Number(j, events::kLower) + 1;
  }
}

}  // namespace ui
