#include "link/IdentificationCheck.h"

bool IsExpectedIdentification(const std::string& strReply) {
  const std::string strExpected = kIdnExpected;
  return strReply.substr(0, strExpected.size()) == strExpected;
}
