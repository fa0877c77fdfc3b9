// A device link that a stop request cuts off: once the stop query answers
// non-zero, every open, send and receive is refused, so the running transfer
// ends at its next exchange and the closing command is never sent. Purge,
// close and release still reach the link inside, so the port is given back
// as on every other exit.
#pragma once
#include <functional>
#include <memory>

#include "link/DeviceLink.h"

class StoppableLink : public DeviceLink {
 public:
  // pfnStop: 0 while the run may go on, else the reason of the stop.
  StoppableLink(std::unique_ptr<DeviceLink> pInner, std::function<int()> pfnStop);

  int Open(const LinkSettings& settings) override;
  int SendString(const std::string& str) override;
  int SendByte(char ch) override;
  std::string ReceiveString(int n) override;
  void Purge() override;
  // Once the last bytes are written a stop no longer cuts them off: the
  // link inside confirms them or not.
  int Drain() override { return m_pInner->Drain(); }
  void Close() override;
  void Release() override;
  std::string LastError() const override;
  std::string Description() const override { return m_pInner->Description(); }

 private:
  bool Stopped() const { return m_pfnStop && m_pfnStop() != 0; }

  std::unique_ptr<DeviceLink> m_pInner;
  std::function<int()> m_pfnStop;
  bool m_bRefusedOpen = false;
};

// A factory that wraps every link the given factory makes.
DeviceLinkFactory StoppableLinkFactory(DeviceLinkFactory factory, std::function<int()> pfnStop);
