#include "link/Rfc2217.h"

namespace rfc2217 {

namespace {

// A subnegotiation longer than this is a broken server; the rest of it is
// dropped rather than held.
constexpr std::size_t kMaxSub = 4096;

char C(std::uint8_t b) { return static_cast<char>(b); }

}  // namespace

std::string EscapeData(std::string_view data) {
  std::string out;
  out.reserve(data.size());
  for (char ch : data) {
    out.push_back(ch);
    if (static_cast<std::uint8_t>(ch) == kIac) out.push_back(ch);
  }
  return out;
}

std::string OptionCommand(std::uint8_t verb, std::uint8_t option) { return {C(kIac), C(verb), C(option)}; }

std::string ComPortCommand(std::uint8_t command, std::string_view value) {
  std::string out{C(kIac), C(kSb), C(kOptComPort), C(command)};
  out += EscapeData(value);
  out += C(kIac);
  out += C(kSe);
  return out;
}

std::string BigEndian32(std::uint32_t value) {
  return {C(static_cast<std::uint8_t>(value >> 24)), C(static_cast<std::uint8_t>(value >> 16)),
          C(static_cast<std::uint8_t>(value >> 8)), C(static_cast<std::uint8_t>(value))};
}

std::string Client::Start() {
  return OptionCommand(kWill, kOptBinary) + OptionCommand(kDo, kOptBinary) + OptionCommand(kWill, kOptComPort);
}

void Client::Receive(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = p[i];
    switch (m_parse) {
      case Parse::Data:
        if (b == kIac) {
          m_parse = Parse::Iac;
        } else {
          m_strData.push_back(C(b));
        }
        break;
      case Parse::Iac:
        if (b == kIac) {
          m_strData.push_back(C(b));  // a doubled 0xFF is one data byte
          m_parse = Parse::Data;
        } else if (b == kDo || b == kDont || b == kWill || b == kWont) {
          m_byVerb = b;
          m_parse = Parse::Option;
        } else if (b == kSb) {
          m_strSub.clear();
          m_parse = Parse::Sub;
        } else {
          // NOP, go-ahead, break, a stray SE, ...: commands, never data.
          m_parse = Parse::Data;
        }
        break;
      case Parse::Option:
        OnOption(m_byVerb, b);
        m_parse = Parse::Data;
        break;
      case Parse::Sub:
        if (b == kIac) {
          m_parse = Parse::SubIac;
        } else if (m_strSub.size() < kMaxSub) {
          m_strSub.push_back(C(b));
        }
        break;
      case Parse::SubIac:
        if (b == kSe) {
          OnSubnegotiation();
          m_parse = Parse::Data;
        } else {
          // IAC IAC is a 0xFF of the value; anything else after IAC inside a
          // subnegotiation is a fault of the server, taken as the value's.
          if (m_strSub.size() < kMaxSub) m_strSub.push_back(C(b));
          m_parse = Parse::Sub;
        }
        break;
    }
  }
}

std::string Client::TakeAnswers() {
  std::string out;
  out.swap(m_strAnswers);
  return out;
}

// Answers by the rules of RFC 1143 in short: an option is switched only on
// a request that changes its state, and a request is answered only then, so
// two sides can never loop. Only the options the update needs are agreed to.
void Client::OnOption(std::uint8_t verb, std::uint8_t option) {
  auto answer = [this](std::uint8_t v, std::uint8_t o) { m_strAnswers += OptionCommand(v, o); };
  // Our side of BINARY or COM-PORT-OPTION: we asked with WILL.
  auto local = [&](OptionState& state, bool bEnable) {
    if (bEnable) {
      if (state == OptionState::Refused) answer(kWill, option);
      state = OptionState::Agreed;
    } else {
      if (state == OptionState::Agreed) answer(kWont, option);
      state = OptionState::Refused;
    }
  };
  switch (verb) {
    case kDo:
    case kDont: {
      const bool bEnable = verb == kDo;
      if (option == kOptBinary) {
        local(m_binaryOut, bEnable);
      } else if (option == kOptComPort) {
        local(m_comPort, bEnable);
      } else if (option == kOptSuppressGoAhead) {
        if (bEnable != m_bSgaLocal) answer(bEnable ? kWill : kWont, option);
        m_bSgaLocal = bEnable;
      } else if (bEnable) {
        answer(kWont, option);
      }
      break;
    }
    case kWill:
    case kWont: {
      const bool bEnable = verb == kWill;
      if (option == kOptBinary) {
        if (bEnable) {
          if (m_binaryIn == OptionState::Refused) answer(kDo, option);
          m_binaryIn = OptionState::Agreed;
        } else {
          if (m_binaryIn == OptionState::Agreed) answer(kDont, option);
          m_binaryIn = OptionState::Refused;
        }
      } else if (option == kOptSuppressGoAhead) {
        if (bEnable != m_bSgaRemote) answer(bEnable ? kDo : kDont, option);
        m_bSgaRemote = bEnable;
      } else if (bEnable) {
        answer(kDont, option);
      }
      break;
    }
    default:
      break;
  }
}

void Client::OnSubnegotiation() {
  if (m_strSub.size() < 2 || static_cast<std::uint8_t>(m_strSub[0]) != kOptComPort) return;
  const auto command = static_cast<std::uint8_t>(m_strSub[1]);
  // Replies only; the server's own requests and notifications (line and
  // modem state, flow control suspend and resume) change nothing here.
  if (command < kServerOffset) return;
  if (command >= kServerOffset + 6 && command <= kServerOffset + 9) return;
  m_replies[static_cast<std::uint8_t>(command - kServerOffset)] = {m_strSub.substr(2), m_strData.size()};
}

bool Client::Reply(std::uint8_t command, std::string* pValue, std::size_t* pnDataMark) const {
  auto it = m_replies.find(command);
  if (it == m_replies.end()) return false;
  if (pValue) *pValue = it->second.strValue;
  if (pnDataMark) *pnDataMark = it->second.nDataMark;
  return true;
}

void Client::ForgetReply(std::uint8_t command) { m_replies.erase(command); }

void Client::DropData(std::size_t n) {
  if (n > m_strData.size()) n = m_strData.size();
  m_strData.erase(0, n);
  for (auto& entry : m_replies) entry.second.nDataMark = entry.second.nDataMark > n ? entry.second.nDataMark - n : 0;
}

}  // namespace rfc2217
