// A link the update dialog can own that forwards every call to a link the
// test keeps (a scripted peer, a fuzzed device), so the test still sees that
// link's state after the dialog has let its own go. An optional hook runs
// just before the link opens.
#pragma once
#include <functional>
#include <string>
#include <utility>

#include "link/DeviceLink.h"

class BorrowedLink : public DeviceLink {
 public:
  explicit BorrowedLink(DeviceLink& link, std::function<void()> onOpen = {})
      : m_link(link), m_onOpen(std::move(onOpen)) {}
  int Open(const LinkSettings& s) override {
    if (m_onOpen) m_onOpen();
    return m_link.Open(s);
  }
  int SendString(const std::string& str) override { return m_link.SendString(str); }
  int SendByte(char ch) override { return m_link.SendByte(ch); }
  std::string ReceiveString(int n) override { return m_link.ReceiveString(n); }
  void Purge() override { m_link.Purge(); }
  void Close() override { m_link.Close(); }
  void Release() override { m_link.Release(); }
  std::string LastError() const override { return m_link.LastError(); }

 private:
  DeviceLink& m_link;
  std::function<void()> m_onOpen;
};
