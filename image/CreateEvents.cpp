#include "image/CreateEvents.h"

#include <algorithm>
#include <vector>

namespace {

class FanOut : public CreateEvents {
 public:
  std::vector<CreateEvents*> m_observers;
  void OnHexRecordType(const HexRecordTypeEvent& e) override {
    for (CreateEvents* p : Copy()) p->OnHexRecordType(e);
  }
  void OnDataBeyondSentPages(const DataBeyondSentPagesEvent& e) override {
    for (CreateEvents* p : Copy()) p->OnDataBeyondSentPages(e);
  }
  void OnContainersKept(const ContainersKeptEvent& e) override {
    for (CreateEvents* p : Copy()) p->OnContainersKept(e);
  }

 private:
  // An observer may remove itself while it is told.
  std::vector<CreateEvents*> Copy() const { return m_observers; }
};

FanOut& Observers() {
  static FanOut s_fanOut;
  return s_fanOut;
}

}  // namespace

void AddCreateObserver(CreateEvents* pObserver) {
  if (pObserver) Observers().m_observers.push_back(pObserver);
}

void RemoveCreateObserver(CreateEvents* pObserver) {
  auto& v = Observers().m_observers;
  v.erase(std::remove(v.begin(), v.end(), pObserver), v.end());
}

CreateEvents& CreateObservers() { return Observers(); }
