// An in-process stand-in for the window and the device around one transfer:
// it answers the page protocol as a healthy controller would, unless told
// to fail at a given point, and records everything the transfer did.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"
#include "update/UpdateHost.h"

// The peer is both the device link of the transfer (or of a whole update,
// when a window's link factory hands it out) and the transfer's window.
class ScriptedPeer : public DeviceLink, public TransferWindow {
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
  int m_nSelection = 4;               // the family a main transfer expects (SelectionFamily)
  std::set<std::string> m_refusedSends;  // strings whose write fails (the line is gone)
  int m_nOpenResult = 1;
  std::vector<LinkSettings> m_opens;   // the settings of every Open

  // What happened, in order: "send:..", "recv:..", "list:..", "msg:W:..",
  // "msg:I:..", "range:a-b", "pos:p", "refresh", "controls", "fields",
  // "purge", "sleep:ms", "open", "close", "release". Page data is logged as
  // "send:<data p>".
  std::vector<std::string> m_events;
  std::vector<std::string> m_list;              // newest first, as the list box shows it
  std::map<int, std::vector<std::uint8_t>> m_pages;  // page number -> bytes received

  // The transfer's host: this peer as link and window, its own pauses.
  UpdateHost Host(TransferEvents& events) {
    return {*this, [this](unsigned ms) { m_events.push_back("sleep:" + std::to_string(ms)); }, *this, events};
  }

  int Open(const LinkSettings& settings) override {
    m_opens.push_back(settings);
    m_events.push_back("open");
    return m_nOpenResult;
  }
  int SendString(const std::string& str) override;
  int SendByte(char ch) override { return SendString(std::string(1, ch)); }
  std::string ReceiveString(int n) override;
  void Purge() override { m_events.push_back("purge"); }
  void Close() override { m_events.push_back("close"); }
  void Release() override { m_events.push_back("release"); }
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
  void Answer(const std::string& str);
  void Queue(const std::string& str) { m_reply.insert(m_reply.end(), str.begin(), str.end()); }
};
