// Where a run reaches its device: a link address. One table of link kinds
// (LinkAddress.cpp) names every kind once; each kind claims the address texts
// it serves, names its addresses back, and makes the device link for them
// (MakeDeviceLink), so that no caller branches on kinds to do any of that.
//
// The window's interface list is the table's listed kinds in table order, one
// entry per address: COM1..COM29, USB, GPIB. A window keeps its choice as the
// list's index plus one (UpdateDialog::m_nInterface) and turns it into an
// address with InterfaceAddress.
#pragma once
#include <string>
#include <vector>

enum class LinkKind {
  None,  // no address: an unknown text, a value outside the list
  Com,   // a local COM port, by number
  Usb,   // USB: listed, but reaches no device
  Gpib,  // the GPIB device of the update's settings
};

// An address as a value: its kind and what it names within that kind. A
// numbered kind (COM n) keeps its number; a kind addressed by text (such as
// HOST:PORT behind a scheme) keeps that text, so it fits here as it is.
struct LinkAddress {
  LinkKind kind = LinkKind::None;
  int nNumber = 0;        // COM n: n; 0 for other kinds
  std::string strTarget;  // a kind addressed by text: the text after its name

  bool IsValid() const { return kind != LinkKind::None; }
  friend bool operator==(const LinkAddress&, const LinkAddress&) = default;
};

// The COM port numbers a user can choose.
constexpr int kComFirst = 1;
constexpr int kComLast = 29;

// The address a text names ("COM3", "USB", "GPIB", exactly so spelt: COM
// numbers without leading zeros, upper case), or an invalid one.
LinkAddress ParseLinkAddress(const std::string& strText);
// The text of an address as users write and read it ("COM3"); "" when invalid.
std::string LinkAddressName(const LinkAddress& address);
// COM n: n; 0 for every other address.
int ComNumberOf(const LinkAddress& address);

// The window's interface list, in order: the list's texts.
std::vector<std::string> InterfaceListNames();
// The address of an interface value (the list's index plus one); invalid
// outside the list.
LinkAddress InterfaceAddress(int nInterface);
// The interface value of an address (the list's index plus one), 0 when the
// list does not hold it.
int InterfaceOfAddress(const LinkAddress& address);
