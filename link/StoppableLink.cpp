#include "link/StoppableLink.h"

#include <utility>

StoppableLink::StoppableLink(std::unique_ptr<DeviceLink> pInner, std::function<int()> pfnStop)
    : m_pInner(std::move(pInner)), m_pfnStop(std::move(pfnStop)) {}

int StoppableLink::Open(const LinkSettings& settings) {
  // A stop before the port opens: the port is never touched.
  m_bRefusedOpen = Stopped();
  if (m_bRefusedOpen) return 0;
  return m_pInner->Open(settings);
}

int StoppableLink::SendString(const std::string& str) { return Stopped() ? 0 : m_pInner->SendString(str); }

int StoppableLink::SendByte(char ch) { return Stopped() ? 0 : m_pInner->SendByte(ch); }

std::string StoppableLink::ReceiveString(int n) {
  if (Stopped()) return "";
  std::string str = m_pInner->ReceiveString(n);
  // A reply cut short by the stop is not taken for the device's answer.
  return Stopped() ? "" : str;
}

void StoppableLink::Purge() { m_pInner->Purge(); }

void StoppableLink::Close() { m_pInner->Close(); }

void StoppableLink::Release() { m_pInner->Release(); }

std::string StoppableLink::LastError() const {
  return m_bRefusedOpen ? "stopped before the port was opened" : m_pInner->LastError();
}

DeviceLinkFactory StoppableLinkFactory(DeviceLinkFactory factory, std::function<int()> pfnStop) {
  return [factory = std::move(factory), pfnStop = std::move(pfnStop)](const LinkAddress& address,
                                                                      const LinkResources& res) {
    return std::unique_ptr<DeviceLink>(std::make_unique<StoppableLink>(factory(address, res), pfnStop));
  };
}
