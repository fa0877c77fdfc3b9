// The table of link kinds: each kind's name, the texts it claims, how it
// names its addresses back, whether the window lists it, and its device link.
#include "link/LinkAddress.h"

#include <memory>

#include "link/DeviceLink.h"

namespace {

struct LinkKindRow;
using ClaimFn = LinkAddress (*)(const LinkKindRow& row, const std::string& strText);
using NameFn = std::string (*)(const LinkKindRow& row, const LinkAddress& address);
using MakeFn = std::unique_ptr<DeviceLink> (*)(const LinkAddress& address, const LinkResources& res);

struct LinkKindRow {
  LinkKind kind;
  const char* pszName;  // the kind's word, or what its addresses start with
  int nFirst;           // a numbered kind: its numbers, nFirst..nLast; else 0, 0
  int nLast;
  bool bListed;         // its addresses are entries of the window's interface list
  ClaimFn pfnClaim;     // the address of a text this kind serves, else an invalid one
  NameFn pfnName;
  MakeFn pfnMake;
};

// A kind that is one word ("USB", "GPIB") serves exactly that word.
LinkAddress ClaimWord(const LinkKindRow& row, const std::string& strText) {
  if (strText != row.pszName) return {};
  return {row.kind, 0, ""};
}

std::string NameWord(const LinkKindRow& row, const LinkAddress&) { return row.pszName; }

// A numbered kind ("COM3") serves its word followed by one of its numbers,
// written without leading zeros.
LinkAddress ClaimNumbered(const LinkKindRow& row, const std::string& strText) {
  const std::string strPrefix = row.pszName;
  if (strText.size() <= strPrefix.size() || strText.size() > strPrefix.size() + 2 ||
      strText.compare(0, strPrefix.size(), strPrefix) != 0 || strText[strPrefix.size()] == '0')
    return {};
  int n = 0;
  for (std::size_t i = strPrefix.size(); i < strText.size(); ++i) {
    if (strText[i] < '0' || strText[i] > '9') return {};
    n = n * 10 + (strText[i] - '0');
  }
  if (n < row.nFirst || n > row.nLast) return {};
  return {row.kind, n, ""};
}

std::string NameNumbered(const LinkKindRow& row, const LinkAddress& address) {
  return row.pszName + std::to_string(address.nNumber);
}

std::unique_ptr<DeviceLink> MakeCom(const LinkAddress& address, const LinkResources& res) {
  return MakeComLink(address.nNumber, res);
}

std::unique_ptr<DeviceLink> MakeGpib(const LinkAddress&, const LinkResources& res) { return MakeGpibLink(res); }

std::unique_ptr<DeviceLink> MakeNone(const LinkAddress&, const LinkResources&) { return MakeNoLink(); }

// In the order of the window's interface list.
const LinkKindRow kLinkKinds[] = {
    {LinkKind::Com, "COM", kComFirst, kComLast, true, ClaimNumbered, NameNumbered, MakeCom},
    {LinkKind::Usb, "USB", 0, 0, true, ClaimWord, NameWord, MakeNone},
    {LinkKind::Gpib, "GPIB", 0, 0, true, ClaimWord, NameWord, MakeGpib},
};

const LinkKindRow* RowOf(const LinkAddress& address) {
  for (const LinkKindRow& row : kLinkKinds)
    if (row.kind == address.kind) return &row;
  return nullptr;
}

// The row of an address that one of the kinds would have claimed: a number
// outside its kind's range is no address.
const LinkKindRow* ServingRow(const LinkAddress& address) {
  const LinkKindRow* pRow = RowOf(address);
  if (pRow == nullptr) return nullptr;
  const bool bNumbered = pRow->nLast > 0;
  if (bNumbered ? address.nNumber < pRow->nFirst || address.nNumber > pRow->nLast : address.nNumber != 0)
    return nullptr;
  return pRow;
}

// The window's interface list: each listed kind's addresses, in table order.
std::vector<LinkAddress> ListedAddresses() {
  std::vector<LinkAddress> list;
  for (const LinkKindRow& row : kLinkKinds) {
    if (!row.bListed) continue;
    if (row.nLast > 0) {
      for (int n = row.nFirst; n <= row.nLast; ++n) list.push_back({row.kind, n, ""});
    } else {
      list.push_back({row.kind, 0, ""});
    }
  }
  return list;
}

const std::vector<LinkAddress>& InterfaceList() {
  static const std::vector<LinkAddress> list = ListedAddresses();
  return list;
}

}  // namespace

LinkAddress ParseLinkAddress(const std::string& strText) {
  for (const LinkKindRow& row : kLinkKinds) {
    LinkAddress address = row.pfnClaim(row, strText);
    if (address.IsValid()) return address;
  }
  return {};
}

std::string LinkAddressName(const LinkAddress& address) {
  const LinkKindRow* pRow = ServingRow(address);
  return pRow ? pRow->pfnName(*pRow, address) : "";
}

int ComNumberOf(const LinkAddress& address) {
  return address.kind == LinkKind::Com && ServingRow(address) ? address.nNumber : 0;
}

std::vector<std::string> InterfaceListNames() {
  std::vector<std::string> names;
  for (const LinkAddress& address : InterfaceList()) names.push_back(LinkAddressName(address));
  return names;
}

LinkAddress InterfaceAddress(int nInterface) {
  const std::vector<LinkAddress>& list = InterfaceList();
  if (nInterface < 1 || nInterface > static_cast<int>(list.size())) return {};
  return list[static_cast<std::size_t>(nInterface - 1)];
}

int InterfaceOfAddress(const LinkAddress& address) {
  const std::vector<LinkAddress>& list = InterfaceList();
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == address) return static_cast<int>(i) + 1;
  return 0;
}

std::unique_ptr<DeviceLink> MakeDeviceLink(const LinkAddress& address, const LinkResources& resources) {
  const LinkKindRow* pRow = ServingRow(address);
  return pRow ? pRow->pfnMake(address, resources) : MakeNoLink();
}
