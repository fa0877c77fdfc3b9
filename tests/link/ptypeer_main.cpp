// link_ptypeer: serves the test peer on a new pseudo-terminal for a program
// that cannot create one itself (the Windows tests under Wine). Links the
// slave to the given path (Wine's dosdevices/comN), writes the slave's path
// to the ready file, and serves until hung up or the time is over.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/link/PtyPeer.h"

int main(int argc, char** argv) {
  std::string strLink, strReady;
  int nSeconds = 300;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--link")) strLink = argv[i + 1];
    else if (!std::strcmp(argv[i], "--ready")) strReady = argv[i + 1];
    else if (!std::strcmp(argv[i], "--seconds")) nSeconds = std::atoi(argv[i + 1]);
  }
  PtyPeer peer;
  if (!peer.Ok()) {
    std::fprintf(stderr, "link_ptypeer: cannot create a pseudo-terminal\n");
    return 1;
  }
  if (!strLink.empty()) {
    ::unlink(strLink.c_str());
    if (::symlink(peer.SlavePath().c_str(), strLink.c_str()) != 0) {
      std::perror("link_ptypeer: symlink");
      return 1;
    }
  }
  std::printf("%s\n", peer.SlavePath().c_str());
  std::fflush(stdout);
  if (!strReady.empty()) {
    if (FILE* f = std::fopen(strReady.c_str(), "w")) {
      std::fprintf(f, "%s\n", peer.SlavePath().c_str());
      std::fclose(f);
    }
  }
  peer.Serve(nSeconds);
  if (!strLink.empty()) ::unlink(strLink.c_str());
  return 0;
}
