// A small dialog framework in the manner of the classic Windows dialog
// classes: a Dialog base with a template id, modal run, data exchange and a
// static message table per class, control objects bound to control ids, and
// the user-interface operations (FrontEnd) that every front end provides.
// Nothing here knows which front end is running.
#pragma once
#include <cstdint>
#include <string>

#include "app/res/resource.h"

namespace fw {

using IconHandle = void*;

enum class MsgIcon { Warning, Information, Error };

class Dialog;

struct Size {
  int cx = 0;
  int cy = 0;
};

// The user-interface operations the logic relies on. A front end builds each
// window from its template (res::FindTemplate) and performs these on it.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  virtual void InitCommonControls() {}
  virtual IconHandle LoadAppIcon() = 0;  // icon resource 128

  // Builds the window of dlg.TemplateId(), delivers the initialisation
  // (dlg.HandleInitDialog()), then events, until dlg ends; returns the
  // result passed to EndModal.
  virtual int RunModal(Dialog& dlg) = 0;
  virtual void EndModal(Dialog& dlg, int result) = 0;

  // Modal message box with an OK button; owner nullptr for an ownerless box.
  virtual int MessageBox(Dialog* owner, const std::string& text, const std::string& caption, MsgIcon icon) = 0;
  // The same box with a text the user may open beside it ("Show
  // Details..."): why it came, in more words than the box's own text,
  // which stays as the program has always shown it. A front end without
  // such a part shows the box alone.
  virtual int MessageBoxWithDetails(Dialog* owner, const std::string& text, const std::string& caption, MsgIcon icon,
                                    const std::string& /*details*/) {
    return MessageBox(owner, text, caption, icon);
  }

  virtual void SetWindowText(Dialog& dlg, const std::string& text) = 0;
  virtual std::string GetWindowText(Dialog& dlg) = 0;
  virtual void SetItemText(Dialog& dlg, int id, const std::string& text) = 0;
  virtual std::string GetItemText(Dialog& dlg, int id) = 0;
  virtual void ShowItem(Dialog& dlg, int id, bool show) = 0;
  virtual bool IsItemVisible(Dialog& dlg, int id) = 0;
  virtual void EnableItem(Dialog& dlg, int id, bool enable) = 0;
  virtual bool IsItemEnabled(Dialog& dlg, int id) = 0;

  virtual void ComboResetContent(Dialog& dlg, int id) = 0;
  virtual int ComboAddString(Dialog& dlg, int id, const std::string& text) = 0;
  virtual void ComboSetCurSel(Dialog& dlg, int id, int index) = 0;
  virtual int ComboGetCurSel(Dialog& dlg, int id) = 0;
  virtual int ComboGetCount(Dialog& dlg, int id) = 0;
  virtual std::string ComboGetText(Dialog& dlg, int id, int index) = 0;

  virtual int ListInsertString(Dialog& dlg, int id, int index, const std::string& text) = 0;
  virtual int ListGetCount(Dialog& dlg, int id) = 0;
  virtual std::string ListGetText(Dialog& dlg, int id, int index) = 0;

  virtual void ProgressSetRange(Dialog& dlg, int id, int lower, int upper) = 0;
  virtual void ProgressSetPos(Dialog& dlg, int id, int pos) = 0;

  // Draws the window and its controls before returning.
  virtual void RepaintNow(Dialog& dlg) = 0;

  // Appends a separator and an entry to the window's system menu; false when
  // the window has no system menu.
  virtual bool AppendSystemMenu(Dialog& dlg, unsigned command, const std::string& text) = 0;
  virtual void SetIcon(Dialog& dlg, IconHandle icon, bool bigIcon) = 0;

  // The application's help, asked for with F1; a front end without help
  // shows nothing.
  virtual void ShowHelp(Dialog* /*owner*/) {}

  // Standard file-open dialog; the chosen full path, or "" when cancelled.
  virtual std::string FileOpenDialog(Dialog& dlg, const std::string& filter, bool fileMustExist) = 0;

  // Delivers a close request to the window; its close handler has run when
  // this returns.
  virtual void SendClose(Dialog& dlg) = 0;

  // Painting of a minimised window.
  virtual bool IsIconic(Dialog& dlg) = 0;
  virtual Size GetClientSize(Dialog& dlg) = 0;
  virtual Size GetIconMetrics() = 0;  // SM_CXICON, SM_CYICON
  // Begins painting, sends the window WM_ICONERASEBKGND, draws icon at (x, y)
  // of the client area, ends painting.
  virtual void PaintIconic(Dialog& dlg, IconHandle icon, int x, int y) = 0;
  // A paint handler that draws nothing itself brackets its work with these
  // (BeginPaint/EndPaint), so that the window counts as painted.
  virtual void PaintBegin(Dialog&) {}
  virtual void PaintEnd(Dialog&) {}
};

// The front end of this process. Dialogs created afterwards use it.
void SetFrontEnd(FrontEnd* frontEnd);
FrontEnd& GetFrontEnd();
bool HasFrontEnd();

// The application's name: message-box title of the program's own boxes.
extern std::string g_strAppName;

class DataExchange {
 public:
  DataExchange(Dialog& dlg, bool bSaveAndValidate) : m_pDlg(&dlg), m_bSaveAndValidate(bSaveAndValidate) {}
  Dialog* m_pDlg;
  bool m_bSaveAndValidate;  // true: screen to fields
};

// A control object: forwards to the front end's window once bound.
class Control {
 public:
  virtual ~Control() = default;
  void Bind(Dialog* dlg, int id) {
    m_pDlg = dlg;
    m_nId = id;
  }
  bool IsBound() const { return m_pDlg != nullptr; }
  int GetDlgCtrlID() const { return m_nId; }
  void EnableWindow(bool enable);
  void ShowWindow(bool show);

 protected:
  Dialog* m_pDlg = nullptr;
  int m_nId = 0;
};

class ComboBox : public Control {
 public:
  void ResetContent();
  int AddString(const std::string& text);
  int SetCurSel(int index);
  int GetCurSel() const;
  int GetCount() const;
  std::string GetLBText(int index) const;
};

class ListBox : public Control {
 public:
  int InsertString(int index, const std::string& text);
  int GetCount() const;
  std::string GetText(int index) const;
};

class ProgressCtrl : public Control {
 public:
  void SetRange(std::int16_t lower, std::int16_t upper);
  int SetPos(int pos);
};

void DDX_Control(DataExchange& dx, int id, Control& control);
void DDX_Text(DataExchange& dx, int id, std::string& value);

// Message-table entries.
enum class Msg { Command, SelChange, SysCommand, Paint, QueryDragIcon, Close };

struct MsgMapEntry {
  Msg msg;
  int id;  // control id for Command and SelChange
  void (Dialog::*pfnVoid)();
  void (Dialog::*pfnSysCommand)(unsigned, long);
  IconHandle (Dialog::*pfnQueryIcon)();
};

struct MessageMap {
  const MessageMap* pBase;
  const MsgMapEntry* entries;  // ends with an entry whose pfn members are all null
};

class Dialog {
 public:
  explicit Dialog(int templateId, Dialog* pParent = nullptr);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  int TemplateId() const { return m_nTemplateId; }
  Dialog* Parent() const { return m_pParent; }

  virtual int DoModal();
  void EndDialog(int result);
  bool UpdateData(bool bSaveAndValidate = true);
  // details: the box's detailed text ("" for none), see FrontEnd.
  int MessageBox(const std::string& text, const std::string& caption = "", MsgIcon icon = MsgIcon::Warning,
                 const std::string& details = "");

  void SetWindowText(const std::string& text);
  std::string GetWindowText();
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id);
  void ShowItem(int id, bool show);
  void EnableItem(int id, bool enable);
  void RedrawWindow();
  void SetIcon(IconHandle icon, bool bigIcon);
  bool IsIconic();
  void SendCloseRequest();

  // Entry points for front ends: they deliver the window's events here.
  bool HandleInitDialog();
  // A button click or selection change; false when nothing handled it.
  bool HandleCommand(Msg msg, int id);
  // True when the default processing is still to run.
  bool HandleSysCommand(unsigned id, long lParam);
  bool HandlePaint();  // true when the dialog painted, false for default painting
  // True for the commands that keep the window busy for long (a transfer,
  // file work, a device exchange): input the user gave meanwhile is dropped
  // after them. Every other command and notification keeps its input.
  virtual bool IsLongCommand(int /*id*/) const { return false; }
  IconHandle HandleQueryDragIcon();
  void HandleClose();
  bool IsEnded() const { return m_bEnded; }
  int Result() const { return m_nResult; }

  // Front-end data: the front end's own window record.
  void* m_pWindow = nullptr;

 protected:
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(DataExchange& dx);
  virtual const MessageMap* GetMessageMap() const;
  void Default() { m_bCallDefault = true; }

 public:
  static const MessageMap* GetThisMessageMap();

 protected:

 private:
  const MsgMapEntry* FindEntry(Msg msg, int id) const;
  int m_nTemplateId;
  Dialog* m_pParent;
  FrontEnd* m_pFrontEnd;
  bool m_bEnded = false;
  int m_nResult = 0;
  bool m_bCallDefault = false;
  friend class Control;
  friend class ComboBox;
  friend class ListBox;
  friend class ProgressCtrl;
  friend void DDX_Text(DataExchange&, int, std::string&);

 protected:
  FrontEnd& Fe() const { return *m_pFrontEnd; }
};

class App;

// Message-table entries of the application object: the commands that no
// window handled go there.
struct AppMsgMapEntry {
  int id;
  void (App::*pfn)();
};

struct AppMessageMap {
  const AppMessageMap* pBase;
  const AppMsgMapEntry* entries;  // ends with an entry whose pfn is null
};

// The application object: one per process, runs the main dialog.
class App {
 public:
  App();
  virtual ~App();
  virtual bool InitInstance() = 0;
  Dialog* m_pMainWnd = nullptr;

  // A command no window handled; false when the table has no entry for it.
  bool HandleCommand(int id);
  // The framework's help handler: the front end shows the application's help.
  void OnHelp();

  static const AppMessageMap* GetThisMessageMap();

 protected:
  virtual const AppMessageMap* GetMessageMap() const;
};

App* AfxGetApp();

}  // namespace fw

// Message-table macros, in the manner of the classic framework. The table
// is built inside a member function, so handlers may stay protected.
#define DECLARE_MESSAGE_MAP()                                 \
 public:                                                      \
  static const fw::MessageMap* GetThisMessageMap();           \
                                                              \
 protected:                                                   \
  const fw::MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                              \
  const fw::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const fw::MessageMap* theClass::GetThisMessageMap() {                                    \
    using ThisClass = theClass;                                                            \
    using TheBaseClass = baseClass;                                                        \
    static const fw::MsgMapEntry _entries[] = {
#define END_MESSAGE_MAP()                                                      \
  {fw::Msg::Command, 0, nullptr, nullptr, nullptr}};                           \
  static const fw::MessageMap _map = {TheBaseClass::GetThisMessageMap(), _entries}; \
  return &_map;                                                                \
  }

#define DECLARE_APP_MESSAGE_MAP()                        \
 public:                                                 \
  static const fw::AppMessageMap* GetThisMessageMap();   \
                                                         \
 protected:                                              \
  const fw::AppMessageMap* GetMessageMap() const override;

#define BEGIN_APP_MESSAGE_MAP(theClass, baseClass)                                          \
  const fw::AppMessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const fw::AppMessageMap* theClass::GetThisMessageMap() {                                 \
    using TheBaseClass = baseClass;                                                        \
    static const fw::AppMsgMapEntry _entries[] = {
#define ON_COMMAND(id, fn) {id, static_cast<void (fw::App::*)()>(&fn)},
#define END_APP_MESSAGE_MAP()                                                     \
  {0, nullptr}};                                                                  \
  static const fw::AppMessageMap _map = {TheBaseClass::GetThisMessageMap(), _entries}; \
  return &_map;                                                                   \
  }

#define FW_VOID_HANDLER(fn) static_cast<void (fw::Dialog::*)()>(&ThisClass::fn)
#define ON_BN_CLICKED(id, fn) {fw::Msg::Command, id, FW_VOID_HANDLER(fn), nullptr, nullptr},
#define ON_CBN_SELCHANGE(id, fn) {fw::Msg::SelChange, id, FW_VOID_HANDLER(fn), nullptr, nullptr},
#define ON_WM_PAINT() {fw::Msg::Paint, 0, FW_VOID_HANDLER(OnPaint), nullptr, nullptr},
#define ON_WM_CLOSE() {fw::Msg::Close, 0, FW_VOID_HANDLER(OnClose), nullptr, nullptr},
#define ON_WM_SYSCOMMAND() \
  {fw::Msg::SysCommand, 0, nullptr, static_cast<void (fw::Dialog::*)(unsigned, long)>(&ThisClass::OnSysCommand), nullptr},
#define ON_WM_QUERYDRAGICON() \
  {fw::Msg::QueryDragIcon, 0, nullptr, nullptr, static_cast<fw::IconHandle (fw::Dialog::*)()>(&ThisClass::OnQueryDragIcon)},
