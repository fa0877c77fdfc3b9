// Option parsing for qrtsim and the stand-in GPIB libraries.
#include "sim/SimOptions.h"

#include <cstdlib>
#include <iterator>
#include <string_view>

#include "update/Models.h"

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

// A whole number within [dMin, dMax], else 0 with strMessage as the error.
int ParseWhole(const std::string& str, double dMin, double dMax, double& dValue, const char* pszMessage,
               std::string& strError) {
  if (ParseNumber(str, dMin, dMax, dValue) && dValue == static_cast<double>(static_cast<unsigned long>(dValue))) {
    return 1;
  }
  strError = pszMessage;
  return 0;
}

// What the options parsed so far decided, beyond SimOptions itself.
struct ParseState {
  bool bChannelsGiven = false;
};

enum class OptionValue {
  Needed,   // "--opt VALUE" or "--opt=VALUE"
  None,     // a flag: "--opt=VALUE" is refused
  Ignored,  // --help and --version: any "=VALUE" is passed over
};

using ApplyOption = int (*)(const std::string& strValue, SimOptions& opts, ParseState& state, std::string& strError);

struct OptionRow {
  const char* pszName;
  OptionValue value;
  ApplyOption pfnApply;  // 1 when taken, else 0 with strError set
};

// "--family" takes a family's name ("12x0"), its identification ("QRT1230")
// or the number of one of its QRT models ("1220").
const FamilyInfo* FamilyOfArg(const std::string& strArg) {
  for (const FamilyInfo& family : kFamilies) {
    if (strArg == family.pszName || strArg == family.pszId) return &family;
    for (const ModelRow& row : kModels) {
      if (std::string_view(row.pszFamily) == family.pszId && "QRT" + strArg == row.pszModel) return &family;
    }
  }
  return nullptr;
}

int ApplyFamily(const std::string& strArg, SimOptions& opts, ParseState& state, std::string& strError) {
  const FamilyInfo* pFamily = FamilyOfArg(strArg);
  if (pFamily == nullptr) {
    strError = "--family must be ";
    for (std::size_t i = 0; i < std::size(kFamilies); ++i) strError += (i ? std::string(" or ") : "") + kFamilies[i].pszName;
    return 0;
  }
  opts.config.strIdent = pFamily->pszId;
  // Unless told otherwise, as many channels as the family's largest model.
  if (!state.bChannelsGiven) opts.config.nChannels = FamilyChannels(pFamily->pszId);
  return 1;
}

int ApplyChannels(const std::string& strArg, SimOptions& opts, ParseState& state, std::string& strError) {
  double dNumber = 0;
  if (!ParseWhole(strArg, 1, kMaxChannels, dNumber, "--channels must be 1 to 4", strError)) return 0;
  opts.config.nChannels = static_cast<int>(dNumber);
  state.bChannelsGiven = true;
  return 1;
}

int ApplyMainVersion(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  // The updater reads exactly this many characters after the identification.
  if (strArg.size() != kVersionChars) {
    strError = "--main-version takes 8 characters";
    return 0;
  }
  opts.config.strMainVersion = strArg;
  return 1;
}

int ApplyChannelVersion(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  // "S" for every channel, "N=S" for channel N only: digits before an '='
  // name a channel.
  const std::size_t nEq = strArg.find('=');
  const bool bOne = nEq != std::string::npos && nEq > 0 &&
                    strArg.find_first_not_of("0123456789") == nEq;
  if (bOne) {
    const std::string strChannel = strArg.substr(0, nEq);
    if (strChannel.size() > 1 || strChannel[0] < '1' || strChannel[0] > '0' + kMaxChannels) {
      strError = "--channel-version " + strArg + ": channel " + strChannel + " does not exist (channels are 1 to " +
                 std::to_string(kMaxChannels) + ")";
      return 0;
    }
  }
  const std::string strVersion = bOne ? strArg.substr(nEq + 1) : strArg;
  if (strVersion.size() != kVersionChars) {
    strError = "--channel-version takes 8 characters (N=S: 8 after the '=')";
    return 0;
  }
  if (bOne) {
    opts.config.strChannelVersions[strArg[0] - '0'] = strVersion;
  } else {
    opts.config.strChannelVersion = strVersion;
  }
  return 1;
}

int ApplyCloseChar(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  if (strArg.size() != 1) {
    strError = "--close-char takes one character";
    return 0;
  }
  opts.config.cClose = strArg[0];
  return 1;
}

int ApplyFaults(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
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
  return 1;
}

int ApplyBaud(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  double dNumber = 0;
  if (!ParseWhole(strArg, 0, 100000000, dNumber, "--baud must be a whole number (0 = no pacing)", strError)) return 0;
  opts.nBaud = static_cast<unsigned long>(dNumber);
  return 1;
}

int ApplyAdapterLatency(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  double dNumber = 0;
  if (!ParseWhole(strArg, 0, 255, dNumber,
                  "--adapter-latency must be a whole number of milliseconds, 1 to 255 (0 = no adapter)", strError)) {
    return 0;
  }
  opts.nAdapterLatencyMs = static_cast<unsigned>(dNumber);
  return 1;
}

// Options that only switch a flag on.
template <bool SimOptions::*pFlag>
int SetFlag(const std::string&, SimOptions& opts, ParseState&, std::string&) {
  opts.*pFlag = true;
  return 1;
}

int ApplyMaxSeconds(const std::string& strArg, SimOptions& opts, ParseState&, std::string& strError) {
  if (!ParseNumber(strArg, 0, 1e7, opts.dMaxSeconds)) {
    strError = "--max-seconds must be a number of seconds";
    return 0;
  }
  return 1;
}

// The options, as the usage text lists them.
const OptionRow kOptions[] = {
    {"--family", OptionValue::Needed, ApplyFamily},
    {"--channels", OptionValue::Needed, ApplyChannels},
    {"--main-version", OptionValue::Needed, ApplyMainVersion},
    {"--channel-version", OptionValue::Needed, ApplyChannelVersion},
    {"--idn", OptionValue::Needed,
     [](const std::string& s, SimOptions& o, ParseState&, std::string&) {
       o.config.strIdn = s;
       return 1;
     }},
    {"--close-char", OptionValue::Needed, ApplyCloseChar},
    {"--fault", OptionValue::Needed, ApplyFaults},
    {"--baud", OptionValue::Needed, ApplyBaud},
    {"--adapter-latency", OptionValue::Needed, ApplyAdapterLatency},
    {"--tty", OptionValue::Needed,
     [](const std::string& s, SimOptions& o, ParseState&, std::string& strError) {
       if (s.empty()) {
         strError = "--tty needs the path of a terminal device";
         return 0;
       }
       o.strTty = s;
       return 1;
     }},
    {"--link", OptionValue::Needed,
     [](const std::string& s, SimOptions& o, ParseState&, std::string&) {
       o.strLink = s;
       return 1;
     }},
    {"--report", OptionValue::Needed,
     [](const std::string& s, SimOptions& o, ParseState&, std::string&) {
       o.strReport = s;
       return 1;
     }},
    {"--dump-dir", OptionValue::Needed,
     [](const std::string& s, SimOptions& o, ParseState&, std::string&) {
       o.strDumpDir = s;
       return 1;
     }},
    {"--max-seconds", OptionValue::Needed, ApplyMaxSeconds},
    {"--exit-after-fwue", OptionValue::None, SetFlag<&SimOptions::bExitAfterFwue>},
    {"--verbose", OptionValue::None, SetFlag<&SimOptions::bVerbose>},
    {"--ibdev-fail", OptionValue::None, SetFlag<&SimOptions::bIbdevFail>},
    {"--help", OptionValue::Ignored, SetFlag<&SimOptions::bHelp>},
    {"-h", OptionValue::Ignored, SetFlag<&SimOptions::bHelp>},
    {"--version", OptionValue::Ignored, SetFlag<&SimOptions::bVersion>},
};

const OptionRow* FindOption(const std::string& strName) {
  for (const OptionRow& row : kOptions) {
    if (strName == row.pszName) return &row;
  }
  return nullptr;
}

}  // namespace

int ParseSimArgs(const std::vector<std::string>& args, SimOptions& opts, std::string& strError) {
  ParseState state;
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
    const OptionRow* pRow = FindOption(strOpt);
    if (pRow == nullptr) {
      strError = "unknown option '" + args[i] + "'";
      return 0;
    }
    if (pRow->value == OptionValue::Needed && !bHasValue) {
      // The value is the next argument.
      if (i + 1 >= args.size()) {
        strError = "option " + strOpt + " needs a value";
        return 0;
      }
      strValue = args[++i];
    } else if (pRow->value == OptionValue::None && bHasValue) {
      strError = "option " + strOpt + " takes no value";
      return 0;
    }
    if (!pRow->pfnApply(strValue, opts, state, strError)) return 0;
  }
  return 1;
}

}  // namespace sim
