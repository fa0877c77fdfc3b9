// JSON report and binary dumps of what the simulated device received.
#include "sim/SimReport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace sim {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

std::string HexOf(const std::vector<std::uint8_t>& data) {
  std::string str;
  str.reserve(data.size() * 2);
  for (std::uint8_t b : data) {
    str += kHexDigits[b >> 4];
    str += kHexDigits[b & 15];
  }
  return str;
}

const char* Bool(bool b) { return b ? "true" : "false"; }

}  // namespace

std::string JsonString(const std::string& str) {
  std::string strOut = "\"";
  for (char c : str) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      strOut += '\\';
      strOut += c;
    } else if (u < 0x20 || u >= 0x7F) {
      // Bytes outside printable ASCII as \u00XX, so the file stays valid
      // JSON (UTF-8) whatever the PC sent.
      char sz[8];
      std::snprintf(sz, sizeof sz, "\\u%04x", static_cast<unsigned>(u));
      strOut += sz;
    } else {
      strOut += c;
    }
  }
  return strOut + "\"";
}

std::string Fnv1a64Hex(const std::vector<std::uint8_t>& data) {
  std::uint64_t nHash = 0xcbf29ce484222325ULL;
  for (std::uint8_t b : data) {
    nHash ^= b;
    nHash *= 0x100000001b3ULL;
  }
  char sz[20];
  std::snprintf(sz, sizeof sz, "%016llx", static_cast<unsigned long long>(nHash));
  return sz;
}

std::string SimEngine::ReportJson(const std::string& strExtra) const {
  std::string s = "{\n  \"device\": {";
  s += "\"ident\": " + JsonString(m_config.strIdent);
  s += ", \"channels\": " + std::to_string(m_config.nChannels);
  s += ", \"main_version\": " + JsonString(m_config.strMainVersion);
  s += ", \"channel_version\": " + JsonString(m_config.strChannelVersion);
  s += ", \"idn\": " + JsonString(m_config.strIdn);
  s += ", \"close\": " + JsonString(std::string(1, m_config.cClose));
  s += ", \"faults\": " + std::to_string(m_config.faults.size()) + "},\n";
  s += "  \"commands\": [";
  std::vector<std::string> commands = Commands();
  for (std::size_t i = 0; i < commands.size(); ++i) s += (i ? ", " : "") + JsonString(commands[i]);
  s += "],\n";
  s += "  \"fwue\": " + std::to_string(m_nFwue) + ",\n";
  s += "  \"idn_queries\": " + std::to_string(m_nIdn) + ",\n";
  s += "  \"garbage_bytes\": " + std::to_string(m_nGarbage) + ",\n";
  char szDigest[17];
  std::snprintf(szDigest, sizeof szDigest, "%016llx", static_cast<unsigned long long>(m_nReceivedDigest));
  s += "  \"received_bytes\": " + std::to_string(m_nReceived) + ",\n";
  s += "  \"received_fnv1a\": \"" + std::string(szDigest) + "\",\n";
  s += "  \"controllers\": {";
  bool bFirst = true;
  for (int n = 0; n < kControllers; ++n) {
    const ControllerRecord& rec = m_records[n];
    if (rec.nStarts == 0) continue;
    std::vector<std::uint8_t> data = rec.Data();
    s += bFirst ? "\n" : ",\n";
    bFirst = false;
    s += "    " + JsonString(ControllerName(n)) + ": {";
    s += "\"starts\": " + std::to_string(rec.nStarts);
    s += ", \"announce\": " + JsonString(rec.strAnnounce);
    s += ", \"announced_pages\": " + std::to_string(rec.nAnnounced);
    s += ", \"pages\": " + std::to_string(rec.PagesReceived());
    s += ", \"all_pages_ok\": " + std::string(Bool(rec.AllPagesOk()));
    s += ", \"addresses_in_order\": " + std::string(Bool(rec.AddressesInOrder()));
    s += ", \"finished\": " + std::string(Bool(rec.bFinished));
    s += ", \"closed\": " + std::string(Bool(rec.bClosed));
    s += ", \"fnv1a64\": " + JsonString(Fnv1a64Hex(data));
    s += ",\n      \"page_list\": [";
    for (std::size_t p = 0; p < rec.pages.size(); ++p) {
      const PageRecord& page = rec.pages[p];
      s += p ? ",\n        " : "\n        ";
      s += "{\"address\": " + JsonString(page.strAddress);
      s += ", \"data_reply\": " + JsonString(page.strDataReply);
      s += ", \"checksum\": " + JsonString(page.strChecksum);
      s += ", \"sum_ok\": " + std::string(Bool(page.bSumOk));
      s += ", \"reply\": " + JsonString(page.strSumReply) + "}";
    }
    s += "],\n      \"data\": \"" + HexOf(data) + "\"}";
  }
  s += bFirst ? "}" : "\n  }";
  if (!strExtra.empty()) s += ",\n  " + strExtra;
  s += "\n}\n";
  return s;
}

int WriteWholeFile(const std::string& strPath, const std::string& strContent) {
  std::string strTmp = strPath + ".tmp";
  {
    std::ofstream file(strTmp, std::ios::binary | std::ios::trunc);
    if (!file) return 0;
    file.write(strContent.data(), static_cast<std::streamsize>(strContent.size()));
    file.close();
    if (!file) return 0;
  }
  std::error_code ec;
  std::filesystem::rename(strTmp, strPath, ec);
  if (ec) {
    std::filesystem::remove(strTmp, ec);
    return 0;
  }
  return 1;
}

int WriteDumps(const SimEngine& engine, const std::string& strDir) {
  std::error_code ec;
  std::filesystem::create_directories(strDir, ec);
  int nOk = 1;
  for (int n = 0; n < kControllers; ++n) {
    const ControllerRecord& rec = engine.Controller(n);
    if (rec.nStarts == 0) continue;
    std::vector<std::uint8_t> data = rec.Data();
    std::string strData(data.begin(), data.end());
    if (!WriteWholeFile(strDir + "/" + ControllerName(n) + ".bin", strData)) nOk = 0;
  }
  return nOk;
}

}  // namespace sim
