// The COM port a test talks through, with the test peer on its far end.
// Natively the peer runs on a pseudo-terminal inside the test program; the
// Windows build (under Wine) cannot create one, so a script starts the native
// peer program, links Wine's comN to its pseudo-terminal and names the port
// in QRT_TEST_COM.
#pragma once
#include <cstdlib>
#include <memory>
#include <string>

#ifndef _WIN32
#include "tests/link/PtyPeer.h"
#endif

struct WirePort {
  explicit WirePort(int nCom = 9) {
#ifdef _WIN32
    if (const char* env = std::getenv("QRT_TEST_COM")) nCom = std::atoi(env);
    else strSkip = "no test peer: run through tests/link/wine_serial.sh";
    com = nCom;
#else
    com = nCom;
    peer = std::make_unique<PtyPeer>();
    if (!peer->Ok()) {
      strSkip = "no pseudo-terminal available";
      return;
    }
    peer->Start();
    setenv(("QRTUPDATE_COM" + std::to_string(com)).c_str(), peer->SlavePath().c_str(), 1);
#endif
  }
  ~WirePort() {
#ifndef _WIN32
    unsetenv(("QRTUPDATE_COM" + std::to_string(com)).c_str());
#endif
  }

  int com = 0;
  std::string strSkip;  // why the test cannot run here
#ifndef _WIN32
  std::unique_ptr<PtyPeer> peer;
#endif
};

#define SKIP_WITHOUT_PEER(wire) \
  if (!(wire).strSkip.empty()) GTEST_SKIP() << (wire).strSkip
