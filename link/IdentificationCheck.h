// The identification check: the query, the length of the reply read, and
// whether a reply names the supported device.
#pragma once
#include <string>

inline constexpr char kIdnQuery[] = "*idn?";
inline constexpr int kIdnReplyLength = 35;
inline constexpr char kIdnExpected[] = "Talvo Instruments - QRT1230";

// True when the reply begins with the expected identification (exactly,
// letter case included); text after it does not matter.
bool IsExpectedIdentification(const std::string& strReply);
