// Dialog templates as data: every control of the main window (102) and of
// the Info dialog (100), with id, kind, text, position in dialog units,
// style and initial list. Every front end builds its windows from this.
#pragma once
#include <string>
#include <vector>

namespace res {

enum class ControlKind {
  PushButton,
  DefPushButton,
  Progress,
  ListBox,
  Edit,
  Static,
  ComboDropDown,  // edit field and list
  Bitmap,         // picture control showing a bitmap resource
  Icon,           // picture control showing an icon resource
};

// Style flags, independent of any toolkit; front ends translate them.
enum Style : unsigned {
  kVisible = 1u << 0,
  kDisabled = 1u << 1,
  kTabStop = 1u << 2,
  kBorder = 1u << 3,
  kCentre = 1u << 4,        // centred static text
  kVScroll = 1u << 5,
  kVScrollAlways = 1u << 6, // list box: scroll bar shown even when not needed
  kAutoHScroll = 1u << 7,
  kNoIntegralHeight = 1u << 8,
  kNoPrefix = 1u << 9,      // static: ampersands shown as they are
  kNotify = 1u << 10,
  kGroup = 1u << 11,
  kCentreImage = 1u << 12,
};

struct ControlTemplate {
  int id;  // -1 for controls that code never addresses
  ControlKind kind;
  std::string text;
  int x, y, cx, cy;  // dialog units
  unsigned style;
  int resource = 0;  // bitmap or icon resource of a picture control
  std::vector<std::string> initialList = {};
};

enum DialogStyle : unsigned {
  kDlgCaption = 1u << 0,
  kDlgSysMenu = 1u << 1,
  kDlgMinimizeBox = 1u << 2,
  kDlgModalFrame = 1u << 3,
  kDlgAppWindow = 1u << 4,  // shown in the taskbar
  kDlgVisible = 1u << 5,
};

struct DialogTemplate {
  int id;
  std::string caption;
  std::string font;
  int pointSize;
  int x, y, cx, cy;
  unsigned style;
  std::vector<ControlTemplate> controls;  // template order is tab order

  const ControlTemplate* Find(int controlId) const;
};

// The owner lines of the Info dialog (control 1023): a notice, then the
// holder's name. The template shows brand 0's until the first paint.
extern const char* const kOwnerLineTalvo;
extern const char* const kOwnerLineOp;

// The template with this id, or nullptr.
const DialogTemplate* FindTemplate(int id);

// String table entries (8-bit text). Empty when there is no such string.
std::string LoadString(int id);

}  // namespace res
