// The registry of transfer observers and the fan-out that the transfers and
// the update command send their events to.
#include "update/TransferEvents.h"

#include <algorithm>
#include <vector>

namespace {

class ObserverFanOut : public TransferEvents {
 public:
  std::vector<TransferEvents*> m_observers;

  void OnUpdateStarted(const UpdateStartedEvent& e) override { Each(&TransferEvents::OnUpdateStarted, e); }
  void OnContainerLoaded(const ContainerLoadedEvent& e) override { Each(&TransferEvents::OnContainerLoaded, e); }
  void OnContainerRefused(const ContainerRefusedEvent& e) override { Each(&TransferEvents::OnContainerRefused, e); }
  void OnListSigned(const ListSignedEvent& e) override { Each(&TransferEvents::OnListSigned, e); }
  void OnControllerStarted(const ControllerStartedEvent& e) override { Each(&TransferEvents::OnControllerStarted, e); }
  void OnIdentification(const IdentificationEvent& e) override { Each(&TransferEvents::OnIdentification, e); }
  void OnPage(const PageEvent& e) override { Each(&TransferEvents::OnPage, e); }
  void OnControllerEnded(const ControllerEndedEvent& e) override { Each(&TransferEvents::OnControllerEnded, e); }
  void OnClosingSent(const ClosingSentEvent& e) override { Each(&TransferEvents::OnClosingSent, e); }
  void OnUpdateEnded(const UpdateEndedEvent& e) override { Each(&TransferEvents::OnUpdateEnded, e); }

 private:
  template <typename Event>
  void Each(void (TransferEvents::*pfn)(const Event&), const Event& e) {
    // A copy, so that an observer may remove itself while it is called.
    const std::vector<TransferEvents*> observers = m_observers;
    for (TransferEvents* p : observers) (p->*pfn)(e);
  }
};

ObserverFanOut& FanOut() {
  static ObserverFanOut fanOut;
  return fanOut;
}

}  // namespace

void AddTransferObserver(TransferEvents* pObserver) {
  auto& v = FanOut().m_observers;
  if (pObserver != nullptr && std::find(v.begin(), v.end(), pObserver) == v.end()) v.push_back(pObserver);
}

void RemoveTransferObserver(TransferEvents* pObserver) {
  auto& v = FanOut().m_observers;
  v.erase(std::remove(v.begin(), v.end(), pObserver), v.end());
}

TransferEvents& TransferObservers() { return FanOut(); }
