#include "app/framework.h"

namespace fw {

namespace {
FrontEnd* g_pFrontEnd = nullptr;
App* g_pApp = nullptr;
}  // namespace

std::string g_strAppName;

void SetFrontEnd(FrontEnd* frontEnd) { g_pFrontEnd = frontEnd; }
bool HasFrontEnd() { return g_pFrontEnd != nullptr; }
FrontEnd& GetFrontEnd() { return *g_pFrontEnd; }

// ---- controls -------------------------------------------------------------

void Control::EnableWindow(bool enable) {
  if (m_pDlg) m_pDlg->EnableItem(m_nId, enable);
}
void Control::ShowWindow(bool show) {
  if (m_pDlg) m_pDlg->ShowItem(m_nId, show);
}

void ComboBox::ResetContent() {
  if (m_pDlg) m_pDlg->Fe().ComboResetContent(*m_pDlg, m_nId);
}
int ComboBox::AddString(const std::string& text) {
  return m_pDlg ? m_pDlg->Fe().ComboAddString(*m_pDlg, m_nId, text) : -1;
}
int ComboBox::SetCurSel(int index) {
  if (!m_pDlg) return -1;
  m_pDlg->Fe().ComboSetCurSel(*m_pDlg, m_nId, index);
  return index;
}
int ComboBox::GetCurSel() const { return m_pDlg ? m_pDlg->Fe().ComboGetCurSel(*m_pDlg, m_nId) : -1; }
int ComboBox::GetCount() const { return m_pDlg ? m_pDlg->Fe().ComboGetCount(*m_pDlg, m_nId) : 0; }
std::string ComboBox::GetLBText(int index) const {
  return m_pDlg ? m_pDlg->Fe().ComboGetText(*m_pDlg, m_nId, index) : std::string();
}

int ListBox::InsertString(int index, const std::string& text) {
  return m_pDlg ? m_pDlg->Fe().ListInsertString(*m_pDlg, m_nId, index, text) : -1;
}
int ListBox::GetCount() const { return m_pDlg ? m_pDlg->Fe().ListGetCount(*m_pDlg, m_nId) : 0; }
std::string ListBox::GetText(int index) const {
  return m_pDlg ? m_pDlg->Fe().ListGetText(*m_pDlg, m_nId, index) : std::string();
}

void ProgressCtrl::SetRange(std::int16_t lower, std::int16_t upper) {
  if (m_pDlg) m_pDlg->Fe().ProgressSetRange(*m_pDlg, m_nId, lower, upper);
}
int ProgressCtrl::SetPos(int pos) {
  if (m_pDlg) m_pDlg->Fe().ProgressSetPos(*m_pDlg, m_nId, pos);
  return pos;
}

void DDX_Control(DataExchange& dx, int id, Control& control) { control.Bind(dx.m_pDlg, id); }

void DDX_Text(DataExchange& dx, int id, std::string& value) {
  if (dx.m_bSaveAndValidate)
    value = dx.m_pDlg->GetDlgItemText(id);
  else
    dx.m_pDlg->SetDlgItemText(id, value);
}

// ---- dialog ---------------------------------------------------------------

Dialog::Dialog(int templateId, Dialog* pParent)
    : m_nTemplateId(templateId), m_pParent(pParent), m_pFrontEnd(g_pFrontEnd) {}

Dialog::~Dialog() = default;

const MessageMap* Dialog::GetThisMessageMap() {
  static const MsgMapEntry entries[] = {{Msg::Command, 0, nullptr, nullptr, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}
const MessageMap* Dialog::GetMessageMap() const { return GetThisMessageMap(); }

int Dialog::DoModal() {
  m_bEnded = false;
  m_nResult = 0;
  return m_pFrontEnd->RunModal(*this);
}

void Dialog::EndDialog(int result) {
  if (m_bEnded) return;
  m_bEnded = true;
  m_nResult = result;
  m_pFrontEnd->EndModal(*this, result);
}

bool Dialog::UpdateData(bool bSaveAndValidate) {
  DataExchange dx(*this, bSaveAndValidate);
  DoDataExchange(dx);
  return true;
}

int Dialog::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, const std::string& details) {
  const std::string& strCaption = caption.empty() ? g_strAppName : caption;
  if (details.empty()) return m_pFrontEnd->MessageBox(this, text, strCaption, icon);
  return m_pFrontEnd->MessageBoxWithDetails(this, text, strCaption, icon, details);
}

void Dialog::SetWindowText(const std::string& text) { m_pFrontEnd->SetWindowText(*this, text); }
std::string Dialog::GetWindowText() { return m_pFrontEnd->GetWindowText(*this); }
void Dialog::SetDlgItemText(int id, const std::string& text) { m_pFrontEnd->SetItemText(*this, id, text); }
std::string Dialog::GetDlgItemText(int id) { return m_pFrontEnd->GetItemText(*this, id); }
void Dialog::ShowItem(int id, bool show) { m_pFrontEnd->ShowItem(*this, id, show); }
void Dialog::EnableItem(int id, bool enable) { m_pFrontEnd->EnableItem(*this, id, enable); }
void Dialog::RedrawWindow() { m_pFrontEnd->RepaintNow(*this); }
void Dialog::SetIcon(IconHandle icon, bool bigIcon) { m_pFrontEnd->SetIcon(*this, icon, bigIcon); }
bool Dialog::IsIconic() { return m_pFrontEnd->IsIconic(*this); }
void Dialog::SendCloseRequest() { m_pFrontEnd->SendClose(*this); }

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}
void Dialog::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}
void Dialog::OnCancel() { EndDialog(IDCANCEL); }
void Dialog::DoDataExchange(DataExchange&) {}

const MsgMapEntry* Dialog::FindEntry(Msg msg, int id) const {
  for (const MessageMap* map = GetMessageMap(); map; map = map->pBase) {
    for (const MsgMapEntry* e = map->entries; e->pfnVoid || e->pfnSysCommand || e->pfnQueryIcon; ++e) {
      bool idMatters = msg == Msg::Command || msg == Msg::SelChange;
      if (e->msg == msg && (!idMatters || e->id == id)) return e;
    }
  }
  return nullptr;
}

bool Dialog::HandleInitDialog() { return OnInitDialog(); }

bool Dialog::HandleCommand(Msg msg, int id) {
  if (const MsgMapEntry* e = FindEntry(msg, id)) {
    (this->*(e->pfnVoid))();
    return true;
  }
  if (msg == Msg::Command && id == IDOK) {
    OnOK();
    return true;
  }
  if (msg == Msg::Command && id == IDCANCEL) {
    OnCancel();
    return true;
  }
  // Commands the window does not handle go on to the application object.
  if (msg == Msg::Command && g_pApp) return g_pApp->HandleCommand(id);
  return false;
}

bool Dialog::HandleSysCommand(unsigned id, long lParam) {
  const MsgMapEntry* e = FindEntry(Msg::SysCommand, 0);
  if (!e) return true;
  m_bCallDefault = false;
  (this->*(e->pfnSysCommand))(id, lParam);
  return m_bCallDefault;
}

bool Dialog::HandlePaint() {
  const MsgMapEntry* e = FindEntry(Msg::Paint, 0);
  if (!e) return false;
  m_bCallDefault = false;
  (this->*(e->pfnVoid))();
  return !m_bCallDefault;
}

IconHandle Dialog::HandleQueryDragIcon() {
  const MsgMapEntry* e = FindEntry(Msg::QueryDragIcon, 0);
  return e ? (this->*(e->pfnQueryIcon))() : nullptr;
}

void Dialog::HandleClose() {
  if (const MsgMapEntry* e = FindEntry(Msg::Close, 0))
    (this->*(e->pfnVoid))();
  else
    OnCancel();
}

// ---- application ----------------------------------------------------------

App::App() { g_pApp = this; }
App::~App() {
  if (g_pApp == this) g_pApp = nullptr;
}
App* AfxGetApp() { return g_pApp; }

const AppMessageMap* App::GetThisMessageMap() {
  static const AppMsgMapEntry entries[] = {{0, nullptr}};
  static const AppMessageMap map = {nullptr, entries};
  return &map;
}
const AppMessageMap* App::GetMessageMap() const { return GetThisMessageMap(); }

bool App::HandleCommand(int id) {
  for (const AppMessageMap* map = GetMessageMap(); map; map = map->pBase) {
    for (const AppMsgMapEntry* e = map->entries; e->pfn; ++e) {
      if (e->id == id) {
        (this->*(e->pfn))();
        return true;
      }
    }
  }
  return false;
}

void App::OnHelp() {
  if (HasFrontEnd()) GetFrontEnd().ShowHelp(m_pMainWnd);
}

}  // namespace fw
