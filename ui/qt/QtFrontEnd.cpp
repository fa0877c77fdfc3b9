#include "ui/qt/QtFrontEnd.h"

#include <map>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include "app/UpdateDialog.h"
#include "app/res/templates.h"
#include "ui/common/PortPath.h"
#include "ui/qt/QtDialogBuilder.h"

// The art (icon 128, bitmaps 135 and 138) is compiled into this library.
static void InitArt() { Q_INIT_RESOURCE(qrtupdate_gui); }

namespace ui::qt {

namespace {

// Drops keyboard and mouse input, and close requests to the program's
// windows, while it is set.
class InputDropper : public QObject {
 public:
  bool m_bDropping = false;

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (!m_bDropping) return false;
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
        return true;
      case QEvent::Close:
        return obj->isWidgetType();
      default:
        return false;
    }
  }
};

InputDropper& Dropper() {
  static InputDropper* pDropper = [] {
    auto* d = new InputDropper;
    qApp->installEventFilter(d);
    return d;
  }();
  return *pDropper;
}

// The window of a dialog: the controls by id, and the way back to the
// dialog for the events the toolkit delivers.
class DialogWindow : public QDialog {
 public:
  DialogWindow(QtFrontEnd& fe, fw::Dialog& dlg, QWidget* owner) : QDialog(owner), m_fe(fe), m_dlg(dlg) {}

  std::map<int, QWidget*> m_items;
  bool m_bEnded = false;
  bool m_bRunning = false;  // inside exec()
  int m_nResult = 0;

 protected:
  void paintEvent(QPaintEvent* e) override {
    if (!m_dlg.HandlePaint()) QDialog::paintEvent(e);
  }
  // The window manager's close button, Alt+F4: the dialog's close handler
  // decides, as with WM_CLOSE.
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    m_dlg.HandleClose();
  }
  // Escape is the Cancel command (IDCANCEL), as in a native dialog.
  void reject() override { m_fe.OnControlCommand(m_dlg, fw::Msg::Command, IDCANCEL); }

 private:
  QtFrontEnd& m_fe;
  fw::Dialog& m_dlg;
};

DialogWindow* Window(const fw::Dialog& dlg) { return static_cast<DialogWindow*>(dlg.m_pWindow); }

template <class T>
T* Item(const fw::Dialog& dlg, int id) {
  DialogWindow* w = Window(dlg);
  if (!w) return nullptr;
  auto it = w->m_items.find(id);
  return it == w->m_items.end() ? nullptr : qobject_cast<T*>(it->second);
}

void FillInitialLists(DialogWindow& w, const res::DialogTemplate& t) {
  for (const res::ControlTemplate& c : t.controls) {
    if (c.initialList.empty()) continue;
    auto it = w.m_items.find(c.id);
    if (it == w.m_items.end()) continue;
    for (const std::string& s : c.initialList) {
      if (auto* cb = qobject_cast<QComboBox*>(it->second)) cb->addItem(FromProgramText(s));
      if (auto* lb = qobject_cast<QListWidget*>(it->second)) lb->addItem(FromProgramText(s));
    }
    if (auto* cb = qobject_cast<QComboBox*>(it->second)) cb->setCurrentIndex(-1);
  }
}

// The field shows the start of a long entry, as the native one does.
void ShowTextStart(QComboBox* cb) {
  if (cb->lineEdit()) cb->lineEdit()->setCursorPosition(0);
}

QMessageBox::Icon IconOf(fw::MsgIcon icon) {
  switch (icon) {
    case fw::MsgIcon::Information:
      return QMessageBox::Information;
    case fw::MsgIcon::Error:
      return QMessageBox::Critical;
    case fw::MsgIcon::Warning:
      break;
  }
  return QMessageBox::Warning;
}

}  // namespace

QtFrontEnd::QtFrontEnd() { InitArt(); }

QtFrontEnd::~QtFrontEnd() = default;

QDialog* QtFrontEnd::WindowOf(const fw::Dialog& dlg) { return Window(dlg); }

QWidget* QtFrontEnd::ItemOf(const fw::Dialog& dlg, int id) { return Item<QWidget>(dlg, id); }

fw::IconHandle QtFrontEnd::LoadAppIcon() {
  static QIcon icon(":/qrtupdate/qrtupdate.ico");
  return &icon;
}

void QtFrontEnd::OnControlCommand(fw::Dialog& dlg, fw::Msg msg, int id) {
  DialogWindow* w = Window(dlg);
  if (!w || w->m_bEnded) return;
  // --port PATH names the device behind whichever COM port is chosen when
  // a command starts, as in the console.
  if (msg == fw::Msg::Command) {
    if (const auto* pUpd = dynamic_cast<const UpdateDialog*>(&dlg)) ui::UsePortPath(*pUpd, m_strPortPath);
  }
  QPointer<DialogWindow> guard(w);
  dlg.HandleCommand(msg, id);
  // Everything the user typed or clicked while a long command ran is
  // dropped, so that nothing is acted on after it. Only then: a selection
  // change keeps the input that follows it.
  if (guard && msg == fw::Msg::Command && dlg.IsLongCommand(id)) DiscardPendingInput();
}

int QtFrontEnd::RunModal(fw::Dialog& dlg) {
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  if (!t || !qApp) return -1;
  QWidget* owner = dlg.Parent() ? Window(*dlg.Parent()) : nullptr;
  DialogWindow w(*this, dlg, owner);
  w.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   ((t->style & res::kDlgMinimizeBox) ? Qt::WindowMinimizeButtonHint : Qt::WindowType(0)));
  w.m_items = BuildDialog(w, *t);
  dlg.m_pWindow = &w;
  FillInitialLists(w, *t);

  BaseUnits bu = BaseUnitsOf(w.font());
  for (const res::ControlTemplate& c : t->controls) {
    auto it = w.m_items.find(c.id);
    if (it == w.m_items.end()) continue;
    if (auto* cb = qobject_cast<QComboBox*>(it->second)) {
      QObject::connect(cb, QOverload<int>::of(&QComboBox::activated), &w,
                       [this, &dlg, cb, id = c.id](int) {
                         ShowTextStart(cb);
                         OnControlCommand(dlg, fw::Msg::SelChange, id);
                       });
      // The list drops down no further than the template's height: as many
      // entries as fit below the field there (its own frame takes two pixels).
      int dropped = MapDialogRect(bu, c.x, c.y, c.cx, c.cy).height();
      int entry = cb->view()->sizeHintForRow(0);
      if (entry <= 0) entry = cb->fontMetrics().height();
      int visible = (dropped - cb->height() - 2) / entry;
      cb->setMaxVisibleItems(visible < 1 ? 1 : visible);
    } else if (auto* b = qobject_cast<QPushButton*>(it->second)) {
      QObject::connect(b, &QPushButton::clicked, &w,
                       [this, &dlg, id = c.id] { OnControlCommand(dlg, fw::Msg::Command, id); });
    }
  }
  // F1, in either window: the standard Help command, which the application
  // object handles.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &w);
  QObject::connect(help, &QShortcut::activated, &w,
                   [this, &dlg] { OnControlCommand(dlg, fw::Msg::Command, ID_HELP); });

  if (dlg.HandleInitDialog()) {
    for (const res::ControlTemplate& c : t->controls) {
      QWidget* item = (c.style & res::kTabStop) && w.m_items.count(c.id) ? w.m_items[c.id] : nullptr;
      if (item && !item->isHidden() && item->isEnabled()) {
        item->setFocus(Qt::OtherFocusReason);
        break;
      }
    }
  }
  int result = w.m_nResult;
  if (!w.m_bEnded) {
    w.m_bRunning = true;
    w.exec();
    w.m_bRunning = false;
    result = w.m_nResult;
  }
  dlg.m_pWindow = nullptr;
  return result;
}

void QtFrontEnd::EndModal(fw::Dialog& dlg, int result) {
  DialogWindow* w = Window(dlg);
  if (!w) return;
  w->m_bEnded = true;
  w->m_nResult = result;
  // Before its loop ran (a close request during start-up) the window is
  // never shown.
  if (w->m_bRunning) w->done(result);
}

int QtFrontEnd::MessageBox(fw::Dialog* owner, const std::string& text, const std::string& caption,
                           fw::MsgIcon icon) {
  return MessageBoxWithDetails(owner, text, caption, icon, "");
}

int QtFrontEnd::MessageBoxWithDetails(fw::Dialog* owner, const std::string& text, const std::string& caption,
                                      fw::MsgIcon icon, const std::string& details) {
  QWidget* parent = owner ? Window(*owner) : nullptr;
  QMessageBox box(IconOf(icon), FromProgramText(caption), FromProgramText(text), QMessageBox::Ok, parent);
  // Why, behind "Show Details...": the box's own text and caption stay the
  // program's.
  if (!details.empty()) box.setDetailedText(FromProgramText(details));
  // An ownerless box still keeps the program's windows from taking input
  // while it is open (it may appear in the middle of an update).
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  return IDOK;
}

void QtFrontEnd::SetWindowText(fw::Dialog& dlg, const std::string& text) {
  if (DialogWindow* w = Window(dlg)) w->setWindowTitle(FromProgramText(text));
}

std::string QtFrontEnd::GetWindowText(fw::Dialog& dlg) {
  DialogWindow* w = Window(dlg);
  return w ? ToProgramText(w->windowTitle()) : std::string();
}

void QtFrontEnd::SetItemText(fw::Dialog& dlg, int id, const std::string& text) {
  QWidget* item = Item<QWidget>(dlg, id);
  const res::DialogTemplate* t = res::FindTemplate(dlg.TemplateId());
  const res::ControlTemplate* c = t ? t->Find(id) : nullptr;
  QString s = FromProgramText(text);
  // Unchanged text is left alone: the Info dialog sets its texts on every
  // paint, and a change would ask for the next one.
  if (auto* l = qobject_cast<QLabel*>(item)) {
    s = StaticText(text, c && (c->style & res::kNoPrefix));
    if (l->text() != s) l->setText(s);
  } else if (auto* b = qobject_cast<QPushButton*>(item)) {
    if (b->text() != s) b->setText(s);
  } else if (auto* e = qobject_cast<QLineEdit*>(item)) {
    if (e->text() != s) e->setText(s);
  } else if (auto* cb = qobject_cast<QComboBox*>(item)) {
    if (cb->currentText() != s) cb->setEditText(s);
  }
}

std::string QtFrontEnd::GetItemText(fw::Dialog& dlg, int id) {
  QWidget* item = Item<QWidget>(dlg, id);
  if (auto* l = qobject_cast<QLabel*>(item)) return ToProgramText(l->text());
  if (auto* b = qobject_cast<QPushButton*>(item)) return ToProgramText(b->text());
  if (auto* e = qobject_cast<QLineEdit*>(item)) return ToProgramText(e->text());
  if (auto* cb = qobject_cast<QComboBox*>(item)) return ToProgramText(cb->currentText());
  return {};
}

void QtFrontEnd::ShowItem(fw::Dialog& dlg, int id, bool show) {
  if (QWidget* item = Item<QWidget>(dlg, id)) item->setHidden(!show);
}

bool QtFrontEnd::IsItemVisible(fw::Dialog& dlg, int id) {
  QWidget* item = Item<QWidget>(dlg, id);
  // The control's own flag: the window as a whole may not be shown yet.
  return item && !item->isHidden();
}

void QtFrontEnd::EnableItem(fw::Dialog& dlg, int id, bool enable) {
  if (QWidget* item = Item<QWidget>(dlg, id)) item->setEnabled(enable);
}

bool QtFrontEnd::IsItemEnabled(fw::Dialog& dlg, int id) {
  QWidget* item = Item<QWidget>(dlg, id);
  return item && item->isEnabled();
}

void QtFrontEnd::ComboResetContent(fw::Dialog& dlg, int id) {
  if (auto* cb = Item<QComboBox>(dlg, id)) cb->clear();
}

int QtFrontEnd::ComboAddString(fw::Dialog& dlg, int id, const std::string& text) {
  auto* cb = Item<QComboBox>(dlg, id);
  if (!cb) return -1;
  // Adding to an empty list would choose the entry; the native list does not.
  int current = cb->currentIndex();
  cb->addItem(FromProgramText(text));
  if (current < 0) cb->setCurrentIndex(-1);
  return cb->count() - 1;
}

void QtFrontEnd::ComboSetCurSel(fw::Dialog& dlg, int id, int index) {
  auto* cb = Item<QComboBox>(dlg, id);
  if (!cb) return;
  cb->setCurrentIndex(index >= 0 && index < cb->count() ? index : -1);
  ShowTextStart(cb);
}

int QtFrontEnd::ComboGetCurSel(fw::Dialog& dlg, int id) {
  auto* cb = Item<QComboBox>(dlg, id);
  return cb ? cb->currentIndex() : -1;
}

int QtFrontEnd::ComboGetCount(fw::Dialog& dlg, int id) {
  auto* cb = Item<QComboBox>(dlg, id);
  return cb ? cb->count() : 0;
}

std::string QtFrontEnd::ComboGetText(fw::Dialog& dlg, int id, int index) {
  auto* cb = Item<QComboBox>(dlg, id);
  if (!cb || index < 0 || index >= cb->count()) return {};
  return ToProgramText(cb->itemText(index));
}

int QtFrontEnd::ListInsertString(fw::Dialog& dlg, int id, int index, const std::string& text) {
  auto* lb = Item<QListWidget>(dlg, id);
  if (!lb) return -1;
  // -1 appends, as LB_INSERTSTRING does; an index beyond the end is refused.
  if (index < 0) index = lb->count();
  if (index > lb->count()) return -1;
  lb->insertItem(index, FromProgramText(text));
  return index;
}

int QtFrontEnd::ListGetCount(fw::Dialog& dlg, int id) {
  auto* lb = Item<QListWidget>(dlg, id);
  return lb ? lb->count() : 0;
}

std::string QtFrontEnd::ListGetText(fw::Dialog& dlg, int id, int index) {
  auto* lb = Item<QListWidget>(dlg, id);
  if (!lb || index < 0 || index >= lb->count()) return {};
  return ToProgramText(lb->item(index)->text());
}

void QtFrontEnd::ProgressSetRange(fw::Dialog& dlg, int id, int lower, int upper) {
  // The native control takes 16-bit bounds.
  if (auto* p = Item<QProgressBar>(dlg, id)) p->setRange(static_cast<std::int16_t>(lower), static_cast<std::int16_t>(upper));
}

void QtFrontEnd::ProgressSetPos(fw::Dialog& dlg, int id, int pos) {
  auto* p = Item<QProgressBar>(dlg, id);
  if (!p) return;
  // A position outside the range is clamped, as the native control does;
  // QProgressBar would ignore it and keep the old one.
  if (pos < p->minimum()) pos = p->minimum();
  if (pos > p->maximum()) pos = p->maximum();
  p->setValue(pos);
}

void QtFrontEnd::DiscardPendingInput() {
  InputDropper& d = Dropper();
  bool was = d.m_bDropping;
  d.m_bDropping = true;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  d.m_bDropping = was;
}

void QtFrontEnd::RepaintNow(fw::Dialog& dlg) {
  DialogWindow* w = Window(dlg);
  if (!w) return;
  // Letting the toolkit deliver what it holds (exposure, the window system's
  // own messages) shows that the program still responds; the user's input
  // is dropped, since nothing may act on it while the command runs.
  DiscardPendingInput();
  // Everything that needs drawing (the new list line, the progress, parts
  // uncovered by other windows) is drawn and on the screen now.
  if (w->isVisible()) w->repaint();
}

bool QtFrontEnd::AppendSystemMenu(fw::Dialog& dlg, unsigned command, const std::string& text) {
  DialogWindow* w = Window(dlg);
  if (!w) return false;
  // A Linux window has no system menu of its own to extend: the entry goes
  // into the window's context menu (the right mouse button anywhere on it).
  w->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* sep = new QAction(w);
  sep->setSeparator(true);
  w->addAction(sep);
  auto* action = new QAction(FromProgramText(text), w);
  QObject::connect(action, &QAction::triggered, w, [&dlg, command] { dlg.HandleSysCommand(command, 0); });
  w->addAction(action);
  return true;
}

void QtFrontEnd::SetIcon(fw::Dialog& dlg, fw::IconHandle icon, bool) {
  DialogWindow* w = Window(dlg);
  if (w && icon) w->setWindowIcon(*static_cast<QIcon*>(icon));
}

void QtFrontEnd::ShowHelp(fw::Dialog* owner) {
  // The program's help on Linux is its manual page; the user is told where.
  MessageBox(owner, "The help is the manual page: man qrtupdate-gui", fw::g_strAppName, fw::MsgIcon::Information);
}

std::string QtFrontEnd::FileOpenDialog(fw::Dialog& dlg, const std::string& filter, bool fileMustExist) {
  // The platform's file-open dialog, starting in the working folder as the
  // Windows one does when it is given none.
  QFileDialog fd(Window(dlg), QString(), QDir::currentPath(), FileDialogFilter(filter));
  fd.setAcceptMode(QFileDialog::AcceptOpen);
  fd.setFileMode(fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty()) return {};
  return fd.selectedFiles().first().toLocal8Bit().toStdString();
}

void QtFrontEnd::SendClose(fw::Dialog& dlg) {
  if (Window(dlg)) dlg.HandleClose();
}

bool QtFrontEnd::IsIconic(fw::Dialog& dlg) {
  DialogWindow* w = Window(dlg);
  return w && w->isMinimized();
}

fw::Size QtFrontEnd::GetClientSize(fw::Dialog& dlg) {
  DialogWindow* w = Window(dlg);
  return w ? fw::Size{w->width(), w->height()} : fw::Size{};
}

fw::Size QtFrontEnd::GetIconMetrics() { return {32, 32}; }

// The desktop draws a minimised window's icon itself.
void QtFrontEnd::PaintIconic(fw::Dialog&, fw::IconHandle, int, int) {}

}  // namespace ui::qt
