// The PC's side of the update protocol, played against the simulator's engine
// in tests: sends what the updater sends, checks replies the way it checks
// them, and stops where it stops.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/SimEngine.h"

namespace simtest {

struct TransferResult {
  std::string strIdent;    // identification reply
  std::string strVersion;  // version reply
  int nError = 0;          // the updater's code: 0, 2, 3, 4, 5, 6
  int nPagesSent = 0;      // pages whose data went out
  std::string strClose;    // what followed a channel's page loop
  std::vector<std::string> sumReplies;  // checksum replies in order
};

inline std::string Hex(unsigned long nValue, int nDigits) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%0*lX", nDigits, nValue);
  return sz;
}

inline std::string Send(sim::SimEngine& engine, const std::string& str) {
  engine.Receive(str.data(), str.size());
  return engine.TakeOutput();
}

// Transfers the first nPages pages of image to the main controller
// (nChannel 0) or to channel controller nChannel (1..4).
inline TransferResult Transfer(sim::SimEngine& engine, int nChannel, const std::vector<std::uint8_t>& image,
                               int nPages, const std::string& strExpectIdent) {
  TransferResult r;
  std::string strReply;
  if (nChannel == 0) {
    strReply = Send(engine, "FWU0");
  } else {
    if (!Send(engine, "FWU" + std::to_string(nChannel)).empty()) r.nError = 100;  // selection gets no reply
    strReply = Send(engine, "FWU");
  }
  std::size_t nIdent = strExpectIdent.size();
  r.strIdent = strReply.substr(0, nIdent);
  r.strVersion = strReply.size() > nIdent ? strReply.substr(nIdent) : "";
  if (r.strIdent != strExpectIdent || r.strVersion.size() != 8) {
    r.nError = 6;
    return r;
  }
  std::string strAnnounce = Hex(static_cast<unsigned long>(nPages), 4) + "01";
  if (Send(engine, strAnnounce) != strAnnounce) {
    r.nError = 5;
    return r;
  }
  for (int p = 0; p < nPages; ++p) {
    std::string strAddress = Hex(static_cast<unsigned long>(p) * 256, 6);
    std::string strEcho = Send(engine, strAddress);
    if (strEcho.substr(0, 6) != strAddress) {
      r.nError = 4;
      if (strEcho.size() > 6) r.strClose = strEcho.substr(6);
      break;
    }
    std::string strData;
    unsigned nSum = 0;
    for (int i = 0; i < 256; ++i) {
      std::uint8_t b = image[static_cast<std::size_t>(p) * 256 + static_cast<std::size_t>(i)];
      strData += Hex(b, 2);
      nSum += b;
    }
    ++r.nPagesSent;
    std::string strAck = Send(engine, strData);
    if (strAck.substr(0, 2) != "A1") {
      r.nError = 2;
      if (strAck.size() > 2) r.strClose = strAck.substr(2);
      continue;
    }
    std::string strSum = Send(engine, Hex(nSum, 4));
    r.sumReplies.push_back(strSum.substr(0, 2));
    if (strSum.compare(0, 2, "E2") == 0) {
      r.nError = 3;
      r.strClose = strSum.substr(2);
      break;
    }
    if (strSum.size() > 2) r.strClose = strSum.substr(2);
  }
  // Whatever else the device sent (the closing character of a channel).
  r.strClose += engine.TakeOutput();
  return r;
}

// A deterministic image of nBytes with every byte value in it.
inline std::vector<std::uint8_t> TestImage(std::size_t nBytes, unsigned nSeed) {
  std::vector<std::uint8_t> image(nBytes);
  std::uint32_t x = nSeed * 2654435761u + 1;
  for (auto& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 8);
  }
  return image;
}

}  // namespace simtest
