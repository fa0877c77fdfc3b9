#include "ui/memory/MemoryFrontEnd.h"

#include <algorithm>

namespace ui {

namespace {
// A stand-in for the icon resource: any non-null handle.
int g_appIcon = 128;
}  // namespace

MemoryControl* MemoryWindow::Find(int id) {
  for (auto& c : controls)
    if (c.id == id && id != -1) return &c;
  return nullptr;
}

MemoryFrontEnd::MemoryFrontEnd() = default;
MemoryFrontEnd::~MemoryFrontEnd() = default;

fw::IconHandle MemoryFrontEnd::LoadAppIcon() { return &g_appIcon; }

MemoryWindow& MemoryFrontEnd::Create(fw::Dialog& dlg) {
  auto w = std::make_unique<MemoryWindow>();
  w->dlg = &dlg;
  w->templateId = dlg.TemplateId();
  if (const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId())) {
    w->title = t->caption;
    for (const auto& ct : t->controls) {
      MemoryControl c;
      c.id = ct.id;
      c.kind = ct.kind;
      c.text = ct.text;
      c.visible = (ct.style & res::kVisible) != 0;
      c.enabled = (ct.style & res::kDisabled) == 0;
      c.items = ct.initialList;
      w->controls.push_back(std::move(c));
    }
  }
  dlg.m_pWindow = w.get();
  m_windows.push_back(std::move(w));
  return *m_windows.back();
}

void MemoryFrontEnd::Destroy(fw::Dialog& dlg) {
  auto it = std::find_if(m_windows.begin(), m_windows.end(), [&](const auto& w) { return w->dlg == &dlg; });
  if (it == m_windows.end()) return;
  m_closedWindows.push_back(**it);
  m_closedWindows.back().dlg = nullptr;
  m_windows.erase(it);
  dlg.m_pWindow = nullptr;
}

MemoryWindow* MemoryFrontEnd::Window(fw::Dialog& dlg) { return static_cast<MemoryWindow*>(dlg.m_pWindow); }

MemoryControl* MemoryFrontEnd::Control(fw::Dialog& dlg, int id) {
  MemoryWindow* w = Window(dlg);
  return w ? w->Find(id) : nullptr;
}

MemoryWindow& MemoryFrontEnd::Open(fw::Dialog& dlg) {
  MemoryWindow& w = Create(dlg);
  dlg.HandleInitDialog();
  if (!w.ended) Paint(dlg);
  return w;
}

void MemoryFrontEnd::Click(fw::Dialog& dlg, int id) { dlg.HandleCommand(fw::Msg::Command, id); }

void MemoryFrontEnd::Select(fw::Dialog& dlg, int id, int index) {
  if (MemoryControl* c = Control(dlg, id)) c->selection = index;
  dlg.HandleCommand(fw::Msg::SelChange, id);
}

bool MemoryFrontEnd::SysCommand(fw::Dialog& dlg, unsigned command) { return dlg.HandleSysCommand(command, 0); }

void MemoryFrontEnd::Close(fw::Dialog& dlg) { dlg.HandleClose(); }

void MemoryFrontEnd::Paint(fw::Dialog& dlg) {
  if (MemoryWindow* w = Window(dlg)) ++w->paints;
  dlg.HandlePaint();
}

void MemoryFrontEnd::SetIconic(fw::Dialog& dlg, bool iconic) {
  if (MemoryWindow* w = Window(dlg)) w->iconic = iconic;
  Paint(dlg);
}

int MemoryFrontEnd::RunModal(fw::Dialog& dlg) {
  MemoryWindow& w = Open(dlg);
  if (!w.ended) {
    auto it = m_scripts.find(dlg.TemplateId());
    if (it != m_scripts.end())
      it->second(*this, dlg);
    else
      Click(dlg, IDOK);
  }
  // A script that leaves the dialog open ends it as the Escape key would.
  if (!w.ended) dlg.HandleCommand(fw::Msg::Command, IDCANCEL);
  int result = w.result;
  Destroy(dlg);
  return result;
}

void MemoryFrontEnd::EndModal(fw::Dialog& dlg, int result) {
  if (MemoryWindow* w = Window(dlg)) {
    w->ended = true;
    w->result = result;
  }
}

int MemoryFrontEnd::MessageBox(fw::Dialog* owner, const std::string& text, const std::string& caption,
                               fw::MsgIcon icon) {
  return MessageBoxWithDetails(owner, text, caption, icon, "");
}

int MemoryFrontEnd::MessageBoxWithDetails(fw::Dialog* owner, const std::string& text, const std::string& caption,
                                          fw::MsgIcon icon, const std::string& details) {
  RecordedBox box{caption, text, icon, owner != nullptr, details};
  m_boxes.push_back(box);
  OnMessageBox(box);
  return IDOK;
}

void MemoryFrontEnd::SetWindowText(fw::Dialog& dlg, const std::string& text) {
  if (MemoryWindow* w = Window(dlg)) w->title = text;
}
std::string MemoryFrontEnd::GetWindowText(fw::Dialog& dlg) {
  MemoryWindow* w = Window(dlg);
  return w ? w->title : std::string();
}
void MemoryFrontEnd::SetItemText(fw::Dialog& dlg, int id, const std::string& text) {
  if (MemoryControl* c = Control(dlg, id)) c->text = text;
}
std::string MemoryFrontEnd::GetItemText(fw::Dialog& dlg, int id) {
  MemoryControl* c = Control(dlg, id);
  return c ? c->text : std::string();
}
void MemoryFrontEnd::ShowItem(fw::Dialog& dlg, int id, bool show) {
  if (MemoryControl* c = Control(dlg, id)) c->visible = show;
}
bool MemoryFrontEnd::IsItemVisible(fw::Dialog& dlg, int id) {
  MemoryControl* c = Control(dlg, id);
  return c && c->visible;
}
void MemoryFrontEnd::EnableItem(fw::Dialog& dlg, int id, bool enable) {
  if (MemoryControl* c = Control(dlg, id)) c->enabled = enable;
}
bool MemoryFrontEnd::IsItemEnabled(fw::Dialog& dlg, int id) {
  MemoryControl* c = Control(dlg, id);
  return c && c->enabled;
}

void MemoryFrontEnd::ComboResetContent(fw::Dialog& dlg, int id) {
  if (MemoryControl* c = Control(dlg, id)) {
    c->items.clear();
    c->selection = -1;
  }
}
int MemoryFrontEnd::ComboAddString(fw::Dialog& dlg, int id, const std::string& text) {
  MemoryControl* c = Control(dlg, id);
  if (!c) return -1;
  c->items.push_back(text);
  return static_cast<int>(c->items.size()) - 1;
}
void MemoryFrontEnd::ComboSetCurSel(fw::Dialog& dlg, int id, int index) {
  if (MemoryControl* c = Control(dlg, id))
    c->selection = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
}
int MemoryFrontEnd::ComboGetCurSel(fw::Dialog& dlg, int id) {
  MemoryControl* c = Control(dlg, id);
  return c ? c->selection : -1;
}
int MemoryFrontEnd::ComboGetCount(fw::Dialog& dlg, int id) {
  MemoryControl* c = Control(dlg, id);
  return c ? static_cast<int>(c->items.size()) : 0;
}
std::string MemoryFrontEnd::ComboGetText(fw::Dialog& dlg, int id, int index) {
  MemoryControl* c = Control(dlg, id);
  if (!c || index < 0 || index >= static_cast<int>(c->items.size())) return {};
  return c->items[index];
}

int MemoryFrontEnd::ListInsertString(fw::Dialog& dlg, int id, int index, const std::string& text) {
  MemoryControl* c = Control(dlg, id);
  if (!c) return -1;
  if (index < 0 || index > static_cast<int>(c->items.size())) index = static_cast<int>(c->items.size());
  c->items.insert(c->items.begin() + index, text);
  OnListInsert(dlg, id, text);
  return index;
}
int MemoryFrontEnd::ListGetCount(fw::Dialog& dlg, int id) { return ComboGetCount(dlg, id); }
std::string MemoryFrontEnd::ListGetText(fw::Dialog& dlg, int id, int index) { return ComboGetText(dlg, id, index); }

void MemoryFrontEnd::ProgressSetRange(fw::Dialog& dlg, int id, int lower, int upper) {
  if (MemoryControl* c = Control(dlg, id)) {
    c->rangeLower = lower;
    c->rangeUpper = upper;
    c->position = lower;
    OnProgress(dlg, *c);
  }
}
void MemoryFrontEnd::ProgressSetPos(fw::Dialog& dlg, int id, int pos) {
  if (MemoryControl* c = Control(dlg, id)) {
    c->position = std::clamp(pos, std::min(c->rangeLower, c->rangeUpper), std::max(c->rangeLower, c->rangeUpper));
    OnProgress(dlg, *c);
  }
}

void MemoryFrontEnd::RepaintNow(fw::Dialog& dlg) {
  if (MemoryWindow* w = Window(dlg)) ++w->repaints;
}

bool MemoryFrontEnd::AppendSystemMenu(fw::Dialog& dlg, unsigned command, const std::string& text) {
  MemoryWindow* w = Window(dlg);
  if (!w) return false;
  w->systemMenu.emplace_back(0u, std::string());
  w->systemMenu.emplace_back(command, text);
  return true;
}

void MemoryFrontEnd::SetIcon(fw::Dialog& dlg, fw::IconHandle icon, bool bigIcon) {
  if (MemoryWindow* w = Window(dlg)) (bigIcon ? w->bigIcon : w->smallIcon) = icon;
}

std::string MemoryFrontEnd::FileOpenDialog(fw::Dialog&, const std::string& filter, bool) {
  m_fileFilters.push_back(filter);
  if (m_fileAnswers.empty()) return {};
  std::string answer = m_fileAnswers.front();
  m_fileAnswers.pop_front();
  return answer;
}

void MemoryFrontEnd::SendClose(fw::Dialog& dlg) { dlg.HandleClose(); }

bool MemoryFrontEnd::IsIconic(fw::Dialog& dlg) {
  MemoryWindow* w = Window(dlg);
  return w && w->iconic;
}

fw::Size MemoryFrontEnd::GetClientSize(fw::Dialog& dlg) {
  MemoryWindow* w = Window(dlg);
  return w ? fw::Size{w->clientWidth, w->clientHeight} : fw::Size{};
}

void MemoryFrontEnd::PaintIconic(fw::Dialog& dlg, fw::IconHandle, int x, int y) {
  if (MemoryWindow* w = Window(dlg)) {
    ++w->iconicPaints;
    w->iconX = x;
    w->iconY = y;
  }
}

}  // namespace ui
