// Option parsing for qrtsim and the stand-in GPIB libraries.
#include "sim/SimOptions.h"

#include <cstdlib>

namespace sim {

std::vector<std::string> SplitArgs(const std::string& strLine) {
  std::vector<std::string> args;
  std::string strWord;
  bool bInWord = false;
  char cQuote = 0;
  for (std::size_t i = 0; i < strLine.size(); ++i) {
    char c = strLine[i];
    if (cQuote) {
      if (c == cQuote) {
        cQuote = 0;
      } else if (c == '\\' && cQuote == '"' && i + 1 < strLine.size()) {
        strWord += strLine[++i];
      } else {
        strWord += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (bInWord) args.push_back(strWord);
      strWord.clear();
      bInWord = false;
    } else if (c == '\'' || c == '"') {
      cQuote = c;
      bInWord = true;
    } else if (c == '\\' && i + 1 < strLine.size()) {
      strWord += strLine[++i];
      bInWord = true;
    } else {
      strWord += c;
      bInWord = true;
    }
  }
  if (bInWord) args.push_back(strWord);
  return args;
}

namespace {

constexpr std::size_t kVersionChars = 8;

int ParseNumber(const std::string& str, double dMin, double dMax, double& dValue) {
  if (str.empty()) return 0;
  char* pEnd = nullptr;
  dValue = std::strtod(str.c_str(), &pEnd);
  return (pEnd && *pEnd == 0 && dValue >= dMin && dValue <= dMax) ? 1 : 0;
}

}  // namespace

int ParseSimArgs(const std::vector<std::string>& args, SimOptions& opts, std::string& strError) {
  bool bChannelsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string strOpt = args[i];
    std::string strValue;
    bool bHasValue = false;
    std::size_t nEq = strOpt.find('=');
    if (strOpt.compare(0, 2, "--") == 0 && nEq != std::string::npos) {
      strValue = strOpt.substr(nEq + 1);
      strOpt.erase(nEq);
      bHasValue = true;
    }
    // Fetches the option's value from "--opt=value" or the next argument.
    auto value = [&](std::string& strOut) {
      if (bHasValue) {
        strOut = strValue;
        return 1;
      }
      if (i + 1 >= args.size()) {
        strError = "option " + strOpt + " needs a value";
        return 0;
      }
      strOut = args[++i];
      return 1;
    };
    auto flag = [&]() {
      if (bHasValue) strError = "option " + strOpt + " takes no value";
      return bHasValue ? 0 : 1;
    };
    std::string strArg;
    double dNumber = 0;
    if (strOpt == "--family") {
      if (!value(strArg)) return 0;
      if (strArg == "12x0" || strArg == "1220" || strArg == "1230" || strArg == "QRT1230") {
        opts.config.strIdent = "QRT1230";
        if (!bChannelsGiven) opts.config.nChannels = 3;
      } else if (strArg == "14x0" || strArg == "1430" || strArg == "1440" || strArg == "QRT1440") {
        opts.config.strIdent = "QRT1440";
        if (!bChannelsGiven) opts.config.nChannels = 4;
      } else {
        strError = "--family must be 12x0 or 14x0";
        return 0;
      }
    } else if (strOpt == "--channels") {
      if (!value(strArg)) return 0;
      if (!ParseNumber(strArg, 1, kMaxChannels, dNumber) || dNumber != static_cast<int>(dNumber)) {
        strError = "--channels must be 1 to 4";
        return 0;
      }
      opts.config.nChannels = static_cast<int>(dNumber);
      bChannelsGiven = true;
    } else if (strOpt == "--main-version") {
      if (!value(strArg)) return 0;
      // The updater reads exactly this many characters after the identification.
      if (strArg.size() != kVersionChars) {
        strError = "--main-version takes 8 characters";
        return 0;
      }
      opts.config.strMainVersion = strArg;
    } else if (strOpt == "--channel-version") {
      if (!value(strArg)) return 0;
      // "S" for every channel, "N=S" for channel N only.
      const bool bOne = strArg.size() >= 2 && strArg[0] >= '1' && strArg[0] <= '4' && strArg[1] == '=';
      const std::string strVersion = bOne ? strArg.substr(2) : strArg;
      if (strVersion.size() != kVersionChars) {
        strError = "--channel-version takes 8 characters (N=S: 8 after the '=')";
        return 0;
      }
      if (bOne) {
        opts.config.strChannelVersions[strArg[0] - '0'] = strVersion;
      } else {
        opts.config.strChannelVersion = strVersion;
      }
    } else if (strOpt == "--idn") {
      if (!value(opts.config.strIdn)) return 0;
    } else if (strOpt == "--close-char") {
      if (!value(strArg)) return 0;
      if (strArg.size() != 1) {
        strError = "--close-char takes one character";
        return 0;
      }
      opts.config.cClose = strArg[0];
    } else if (strOpt == "--fault") {
      if (!value(strArg)) return 0;
      // Several faults may be given at once, separated by commas.
      std::size_t nStart = 0;
      while (nStart <= strArg.size()) {
        std::size_t nComma = strArg.find(',', nStart);
        if (nComma == std::string::npos) nComma = strArg.size();
        Fault fault;
        if (!ParseFault(strArg.substr(nStart, nComma - nStart), fault, strError)) return 0;
        opts.config.faults.push_back(fault);
        nStart = nComma + 1;
      }
    } else if (strOpt == "--baud") {
      if (!value(strArg)) return 0;
      if (!ParseNumber(strArg, 0, 100000000, dNumber) || dNumber != static_cast<unsigned long>(dNumber)) {
        strError = "--baud must be a whole number (0 = no pacing)";
        return 0;
      }
      opts.nBaud = static_cast<unsigned long>(dNumber);
    } else if (strOpt == "--adapter-latency") {
      if (!value(strArg)) return 0;
      if (!ParseNumber(strArg, 0, 255, dNumber) || dNumber != static_cast<unsigned>(dNumber)) {
        strError = "--adapter-latency must be a whole number of milliseconds, 1 to 255 (0 = no adapter)";
        return 0;
      }
      opts.nAdapterLatencyMs = static_cast<unsigned>(dNumber);
    } else if (strOpt == "--link") {
      if (!value(opts.strLink)) return 0;
    } else if (strOpt == "--report") {
      if (!value(opts.strReport)) return 0;
    } else if (strOpt == "--dump-dir") {
      if (!value(opts.strDumpDir)) return 0;
    } else if (strOpt == "--max-seconds") {
      if (!value(strArg)) return 0;
      if (!ParseNumber(strArg, 0, 1e7, opts.dMaxSeconds)) {
        strError = "--max-seconds must be a number of seconds";
        return 0;
      }
    } else if (strOpt == "--exit-after-fwue") {
      if (!flag()) return 0;
      opts.bExitAfterFwue = true;
    } else if (strOpt == "--verbose") {
      if (!flag()) return 0;
      opts.bVerbose = true;
    } else if (strOpt == "--ibdev-fail") {
      if (!flag()) return 0;
      opts.bIbdevFail = true;
    } else if (strOpt == "--help" || strOpt == "-h") {
      opts.bHelp = true;
    } else if (strOpt == "--version") {
      opts.bVersion = true;
    } else {
      strError = "unknown option '" + args[i] + "'";
      return 0;
    }
  }
  return 1;
}

}  // namespace sim
