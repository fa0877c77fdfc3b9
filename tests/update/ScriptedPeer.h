// An in-process stand-in for the window and the device around one transfer:
// it answers the page protocol as a healthy controller would, unless told
// to fail at a given point, and records everything the transfer did.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"
#include "update/UpdateHost.h"

class ScriptedPeer : public UpdateHost {
 public:
  // What the device says, and where it goes wrong.
  std::string m_strMainId = "QRT1440";
  std::string m_strChannelId = "QRT1230CH";
  std::string m_strVersion = "20311107";
  std::string m_strAnnounceEcho;              // "" echoes the announcement
  std::map<int, std::string> m_addressEcho;   // page -> echo instead of the address
  std::map<int, std::string> m_dataReply;     // page -> reply instead of "A1"
  std::map<int, std::string> m_checksumReply; // page -> reply instead of "A2"/"E2"
  std::string m_strClosing = "#";
  int m_nSelection = 4;

  // What happened, in order: "send:..", "recv:..", "list:..", "msg:W:..",
  // "msg:I:..", "range:a-b", "pos:p", "refresh", "controls", "fields",
  // "purge", "sleep:ms". Page data is logged as "send:<data p>".
  std::vector<std::string> m_events;
  std::vector<std::string> m_list;              // newest first, as the list box shows it
  std::map<int, std::vector<std::uint8_t>> m_pages;  // page number -> bytes received

  void SendString(const std::string& str) override;
  std::string ReceiveString(int n) override;
  void PurgeIfCom() override { m_events.push_back("purge"); }
  void Sleep(unsigned ms) override { m_events.push_back("sleep:" + std::to_string(ms)); }
  void ListInsert(const std::string& line) override {
    m_list.insert(m_list.begin(), line);
    m_events.push_back("list:" + line);
  }
  void ProgressRange(int lower, int upper) override {
    m_events.push_back("range:" + std::to_string(lower) + "-" + std::to_string(upper));
  }
  void ProgressPos(int pos) override { m_events.push_back("pos:" + std::to_string(pos)); }
  void Message(const std::string& text, UpdateMsgIcon icon) override {
    m_events.push_back(std::string(icon == UpdateMsgIcon::Information ? "msg:I:" : "msg:W:") + text);
  }
  void RefreshNow() override { m_events.push_back("refresh"); }
  void UpdateControls() override { m_events.push_back("controls"); }
  void UpdateFields() override { m_events.push_back("fields"); }
  int DeviceSelection() override { return m_nSelection; }

  // Events that start with the prefix.
  std::vector<std::string> Events(const std::string& strPrefix) const;
  int Count(const std::string& strEvent) const;
  int IndexOf(const std::string& strEvent) const;  // -1 when absent

 private:
  enum class Stage { Idle, Announce, Address, Data, Checksum };
  Stage m_stage = Stage::Idle;
  bool m_bChannel = false;
  int m_nPages = 0;
  int m_nPage = 0;
  unsigned m_nSum = 0;
  std::deque<char> m_reply;
  void Queue(const std::string& str) { m_reply.insert(m_reply.end(), str.begin(), str.end()); }
};
