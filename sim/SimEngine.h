// The device simulator's protocol engine: plays the power supply's side of the
// firmware-update protocol byte for byte, records what the PC sent, and
// injects faults by plan. It is a pure state machine (no I/O, no clock), so
// the pty runner (qrtsim), the stand-in GPIB libraries and unit tests all
// drive the same code.
//
// Using it:
//   sim::SimEngine engine(config);
//   engine.Receive(bytes, n);          // bytes the PC wrote
//   std::string s = engine.TakeOutput(); // bytes the device answers, in order
//   engine.Idle();                     // optional: the line has been quiet
//   engine.Controller(sim::kMain).Data(); engine.Commands(); engine.ReportJson();
//
// What the device does (the PC never sends terminators, so every field is
// taken by its expected length):
//   "FWU0"      main controller: replies the family identification (7 chars,
//               "QRT1230" or "QRT1440") and its version (8 chars), then takes
//               the 6-char announcement (page count as 4 hex digits + 2 flag
//               digits) and echoes it, then per page: 6-char address echoed,
//               512 hex chars answered "A1", 4 hex chars answered "A2" when
//               they equal the byte sum of the page, else "E2". After the
//               announced number of pages the exchange is over. "E2" ends the
//               exchange at once (the PC stops there).
//   "FWU1".."FWU4"  select a channel controller; no reply. Selecting a
//               channel the device does not have selects nothing, and the
//               "FWU" that follows gets no reply (silence).
//   "FWU"       with a channel selected: that channel's exchange starts at
//               once: "QRT1230CH" + 8 version chars, announcement echo and
//               pages as above, then ONE closing character after the last
//               page, also when the exchange stops early through "E2" or a
//               wrong address echo (the PC reads it in those cases too).
//               The selection is used up by this "FWU".
//   "FWUE"      end of the update; no reply.
//   "*idn?"     (any letter case) the configured identification reply.
//
// How "FWU" is told from "FWU0".."FWU4"/"FWUE": the PC sends "FWUn", waits
// 100 ms and then a bare "FWU" and waits for the reply, so after a channel
// selection the next "FWU" starts that channel at once. Without a selection
// "FWU" is kept until the next byte decides it ("0".."4", "E" complete a
// command; anything else makes it a bare "FWU", which selects nothing and is
// answered with silence). Idle() settles such a lone trailing "FWU" for the
// record; the runner calls it when the line has been quiet for a while.
//
// Staying in step: page fields are hexadecimal, so any non-hex byte during an
// exchange (e.g. the "F" "W" of a new "FWU0", or "*idn?") ends the exchange
// and is parsed as the start of a command. Bytes outside any command are
// counted as garbage and skipped. Nothing the PC sends can crash the engine.
//
// Faults (per controller, applied to every exchange of that controller; page
// numbers k are 1-based, like the PC's "Page k of N" lines):
//   ident[=S]     identification S instead of the right one
//                 (default "QRT0000" for the main controller, "QRT0000CH" for channels)
//   silent[@k]    no reply at all for this exchange (from page k's address on, with @k)
//   announce[=S]  wrong announcement echo (default: the announcement with its last digit changed)
//   addr@k[=S]    wrong echo of page k's address; the exchange ends there
//   noa1@k[=S]    page k's data answered with S (default "E1") instead of "A1";
//                 the device then expects the next page's address
//   e2@k          page k's checksum answered "E2" whatever it is; the exchange ends
//   badsum@k[=S]  page k's checksum answered with S (default "X2")
//   noclose       no closing character after a channel exchange
//   noise[=S]     once this exchange has ended (after its last reply and
//                 closing character) the device sends S unasked (default:
//                 its identification between CR LFs, as a power supply
//                 prints it when it starts): stale bytes on the line before
//                 the PC's next command, which the PC must discard
//   hangup        the device drops off the line once this exchange has ended
//                 (after its last reply and closing character): HungUp()
//                 turns true and the runner closes the line, so every later
//                 write of the PC fails as on an unplugged adapter
//   late[@k]=MS   each reply reaches the PC MS milliseconds after the device
//                 made it (with @k only page k's replies: address echo, "A1",
//                 checksum reply)
//   slow[@k]=MS   each character of a reply MS milliseconds after the one
//                 before (with @k only page k's replies)
//                 The engine has no clock: it hands the delays with its output
//                 (TakeOutput's pDelaysMs) and the runner keeps them; the
//                 stand-in GPIB library answers at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Controllers of the device: index 0 is the main controller, 1..4 the
// channel controllers.
constexpr int kMain = 0;
constexpr int kMaxChannels = 4;
constexpr int kControllers = 5;

// "main", "ch1" .. "ch4".
std::string ControllerName(int nController);

enum class FaultKind { Ident, Silent, Announce, Address, NoA1, E2, BadSum, NoClose, HangUp, Late, Slow, Noise };

struct Fault {
  int nController = kMain;
  FaultKind kind = FaultKind::Silent;
  int nPage = 0;          // 1-based page the fault applies to; 0 = whole exchange
  bool bHasValue = false; // strValue replaces the default faulty reply
  std::string strValue;
};

// Parses "TARGET:KIND[@K][=VALUE]", TARGET main|ch1..ch4, KIND as listed
// above. Returns 1 on success, else 0 with a message in strError.
int ParseFault(const std::string& strText, Fault& fault, std::string& strError);

struct SimConfig {
  std::string strIdent = "QRT1440";          // main controller's family identification
  int nChannels = 4;                         // channel controllers present (1..4)
  std::string strMainVersion = "02030000";   // 8 version characters of the main controller
  std::string strChannelVersion = "01050000";// 8 version characters of every channel controller
  std::string strChannelVersions[kControllers]; // per channel 1..4, where not empty
  // 35 characters, exactly what the PC's identification check reads.
  std::string strIdn = "Talvo Instruments - QRT1230,0,V2.04";
  char cClose = 'C';                         // closing character after a channel exchange
  std::vector<Fault> faults;
};

// One page as the device received it.
struct PageRecord {
  std::string strAddress;           // the 6 address characters received
  bool bHasData = false;            // all 512 data characters arrived
  std::vector<std::uint8_t> data;   // the 256 data bytes
  unsigned nSum = 0;                // byte sum of the data
  std::string strDataReply;         // "A1" or the faulty reply
  std::string strChecksum;          // the 4 checksum characters ("" if none came)
  bool bSumOk = false;              // checksum equals the byte sum
  std::string strSumReply;          // "A2", "E2" or the faulty reply
};

// What one controller received in its latest exchange (a new start clears it).
struct ControllerRecord {
  int nStarts = 0;                  // exchanges started in this session
  std::string strAnnounce;          // the 6 announcement characters
  int nAnnounced = -1;              // page count of the announcement, -1 if none came
  std::vector<PageRecord> pages;    // in order of arrival
  bool bFinished = false;           // the exchange reached its natural end
  bool bClosed = false;             // the closing character was sent

  // Pages whose data arrived whole.
  int PagesReceived() const;
  // Every announced page arrived with the address 256*p in order, was
  // acknowledged "A1" and confirmed "A2" with a correct checksum.
  bool AllPagesOk() const;
  // Page p (0-based in arrival order) carried address 256*p.
  bool AddressesInOrder() const;
  // The data of the pages received, concatenated in arrival order
  // (256 bytes per page): equal to the first N pages of the image sent.
  std::vector<std::uint8_t> Data() const;
};

class SimEngine {
 public:
  explicit SimEngine(SimConfig config = SimConfig());

  // Bytes written by the PC.
  void Receive(char c);
  void Receive(const void* pData, std::size_t nLength);
  // The line has been quiet: settles a lone trailing "FWU".
  void Idle();

  // Bytes the device sends, oldest first; TakeOutput empties the queue.
  // pDelaysMs, when given, receives one value per byte: the milliseconds it
  // reaches the PC after the byte before it (after now, for the first), all
  // 0 unless a late or slow fault is in force.
  bool HasOutput() const { return !m_strOut.empty(); }
  std::string TakeOutput(std::vector<unsigned>* pDelaysMs = nullptr);

  // Every command in order ("FWU0", "FWU1", "FWU", "FWUE", "*idn?"), with
  // "pages <controller> <n>" after each exchange (n = pages received) and
  // "garbage <n>" for skipped bytes. An exchange still running is listed as
  // if it ended now.
  std::vector<std::string> Commands() const;
  const ControllerRecord& Controller(int nController) const;
  int FwueCount() const { return m_nFwue; }
  int IdnCount() const { return m_nIdn; }
  long GarbageBytes() const { return m_nGarbage; }
  // Every byte the PC wrote, in order, as a count and a 64-bit FNV-1a digest:
  // two runs that put the same bytes on the line in the same order agree,
  // whatever link and however many write calls carried them.
  long ReceivedBytes() const { return m_nReceived; }
  std::uint64_t ReceivedDigest() const { return m_nReceivedDigest; }
  // An exchange with the hangup fault has ended: the device is gone.
  bool HungUp() const { return m_bHungUp; }
  const SimConfig& Config() const { return m_config; }

  // The whole record as JSON (layout described in SimReport.h).
  // strExtra, if not empty, is inserted as further members of the top object
  // (e.g. "\"gpib\": {...}").
  std::string ReportJson(const std::string& strExtra = std::string()) const;

 private:
  enum class Stage { Command, Announce, Address, Data, Checksum };
  // Natural: all announced pages done. Stopped: the device ended the page
  // loop ("E2", wrong address echo). Abandoned: the PC left the exchange.
  enum class EndKind { Natural, Stopped, Abandoned };

  void ReceiveCommandByte(char c);
  void MatchCommand();
  void RunCommand(const std::string& strCmd);
  void StartExchange(int nController);
  void FieldComplete();
  void NextPage();
  void EndExchange(EndKind end);
  void Emit(const std::string& str);
  void NoteGarbage(long n);
  const Fault* FindFault(FaultKind kind, int nPage) const;
  unsigned DelayMs(FaultKind kind) const;

  SimConfig m_config;
  std::string m_strOut;
  std::vector<unsigned> m_delaysMs;  // one per byte of m_strOut
  std::vector<std::string> m_commands;
  ControllerRecord m_records[kControllers];

  Stage m_stage = Stage::Command;
  std::string m_strCmd;       // command bytes not yet decided
  std::string m_strField;     // hex characters of the current field
  int m_nActive = -1;         // controller of the running exchange
  int m_nPage = 0;            // 0-based page in progress
  int m_nSelected = 0;        // channel selected by FWUn: 0 none, -1 absent channel
  bool m_bMute = false;       // silent fault in force
  bool m_bHungUp = false;
  int m_nFwue = 0;
  int m_nIdn = 0;
  long m_nGarbage = 0;
  long m_nGarbageRun = 0;     // garbage bytes since the last command entry
  long m_nReceived = 0;
  std::uint64_t m_nReceivedDigest = 0xcbf29ce484222325u;  // FNV-1a offset basis
};

}  // namespace sim
