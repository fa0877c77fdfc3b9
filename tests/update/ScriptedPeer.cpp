#include "tests/update/ScriptedPeer.h"

#include <cstdio>
#include <cstdlib>

int ScriptedPeer::SendString(const std::string& str) {
  m_events.push_back("send:" + (str.size() == 512 ? "<data " + std::to_string(m_nPage) + ">" : str));
  if (m_refusedSends.count(str)) return 0;
  Answer(str);
  return 1;
}

void ScriptedPeer::Answer(const std::string& str) {
  // A command ("FWU0", "FWU", "FWU1".."FWU4", "FWUE") starts afresh whatever
  // the last exchange left: the next controller of a whole update.
  if (str.rfind("FWU", 0) == 0 && str.size() <= 4) m_stage = Stage::Idle;
  switch (m_stage) {
    case Stage::Idle:
      if (str == "FWU0") {
        m_bChannel = false;
        Queue(m_strMainId + m_strVersion);
        m_stage = Stage::Announce;
      } else if (str == "FWU") {
        m_bChannel = true;
        Queue(m_strChannelId + m_strVersion);
        m_stage = Stage::Announce;
      }
      return;
    case Stage::Announce:
      m_nPages = static_cast<int>(std::strtol(str.substr(0, 4).c_str(), nullptr, 16));
      Queue(m_strAnnounceEcho.empty() ? str : m_strAnnounceEcho);
      m_nPage = 0;
      m_stage = Stage::Address;
      return;
    case Stage::Address:
      m_nPage = static_cast<int>(std::strtol(str.c_str(), nullptr, 16) / kPageSize);
      Queue(m_addressEcho.count(m_nPage) ? m_addressEcho[m_nPage] : str);
      m_stage = m_addressEcho.count(m_nPage) ? Stage::Idle : Stage::Data;
      return;
    case Stage::Data: {
      std::vector<std::uint8_t>& page = m_pages[m_nPage];
      page.clear();
      m_nSum = 0;
      for (std::size_t i = 0; i + 1 < str.size(); i += 2) {
        page.push_back(static_cast<std::uint8_t>(std::strtol(str.substr(i, 2).c_str(), nullptr, 16)));
        m_nSum += page.back();
      }
      const std::string strReply = m_dataReply.count(m_nPage) ? m_dataReply[m_nPage] : "A1";
      Queue(strReply);
      m_stage = strReply == "A1" ? Stage::Checksum : Stage::Address;
      if (strReply != "A1" && m_bChannel && m_nPage == m_nPages - 1) Queue(m_strClosing);
      return;
    }
    case Stage::Checksum: {
      char sum[8];
      std::snprintf(sum, sizeof sum, "%04X", m_nSum);
      std::string strReply = str == sum ? "A2" : "E2";
      if (m_checksumReply.count(m_nPage)) strReply = m_checksumReply[m_nPage];
      Queue(strReply);
      m_stage = Stage::Address;
      if (strReply == "E2") m_stage = Stage::Idle;
      if (m_bChannel && (strReply == "E2" || m_nPage == m_nPages - 1)) Queue(m_strClosing);
      return;
    }
  }
}

std::string ScriptedPeer::ReceiveString(int n) {
  std::string str;
  while (static_cast<int>(str.size()) < n && !m_reply.empty()) {
    str += m_reply.front();
    m_reply.pop_front();
  }
  m_events.push_back("recv:" + str);
  return str;
}

std::vector<std::string> ScriptedPeer::Events(const std::string& strPrefix) const {
  std::vector<std::string> out;
  for (const std::string& e : m_events)
    if (e.rfind(strPrefix, 0) == 0) out.push_back(e);
  return out;
}

int ScriptedPeer::Count(const std::string& strEvent) const {
  int n = 0;
  for (const std::string& e : m_events) n += e == strEvent;
  return n;
}

int ScriptedPeer::IndexOf(const std::string& strEvent) const {
  for (std::size_t i = 0; i < m_events.size(); ++i)
    if (m_events[i] == strEvent) return static_cast<int>(i);
  return -1;
}
