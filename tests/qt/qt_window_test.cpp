// The Linux window driven as a user drives it: a real X display (Xvfb), real
// mouse and key input through xdotool (press and release reach the program
// together, as from a quick hand), and the program's own handlers behind it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <string>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/InfoDialog.h"
#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "app/res/templates.h"
#include "ui/console/lib/StartName.h"
#include "ui/qt/QtDialogBuilder.h"
#include "ui/qt/QtFrontEnd.h"

namespace {

const char* const kName = "QRT_Update_OP_FWV2.04";

// Runs steps while the program's modal loops run. A step is polled until it
// returns true; it is taken off the list before it runs, so that the steps
// after it run inside the loops it opens (a message box, a transfer).
class Driver {
 public:
  Driver() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    m_timer.start(20);
  }
  void Then(std::function<bool()> step) { m_steps.push_back(std::move(step)); }
  bool Done() const { return m_steps.empty(); }

 private:
  void Tick() {
    if (m_steps.empty()) return;
    if (++m_nTicks > 60 * 50) {  // a minute without progress: the window is stuck
      ADD_FAILURE() << "a step did not happen within a minute";
      m_steps.clear();
      if (QWidget* w = QApplication::activeModalWidget()) w->close();
      return;
    }
    auto step = std::move(m_steps.front());
    m_steps.pop_front();
    if (step()) {
      m_nTicks = 0;
    } else {
      m_steps.push_front(std::move(step));
    }
  }
  QTimer m_timer;
  std::deque<std::function<bool()>> m_steps;
  int m_nTicks = 0;
};

// Real input through the X server.
void Xdo(const QStringList& args) {
  int rc = QProcess::execute("xdotool", args);
  ASSERT_EQ(rc, 0) << "xdotool " << args.join(' ').toStdString();
}
void ClickAt(QPoint global, int button = 1) {
  Xdo({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", QString::number(button)});
}
void ClickWidget(QWidget* w, QPoint local) { ClickAt(w->mapToGlobal(local)); }
void ClickWidget(QWidget* w) { ClickWidget(w, w->rect().center()); }

QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

struct BoxSeen {
  std::string text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* parent = nullptr;
};

// A step: waits for a message box, notes it and presses its OK button.
std::function<bool()> AnswerBox(BoxSeen& seen) {
  return [&seen] {
    QMessageBox* box = OpenBox();
    if (!box || !box->isVisible()) return false;
    seen = {box->text().toStdString(), box->windowTitle().toStdString(), box->icon(), box->parentWidget()};
    ClickWidget(box->button(QMessageBox::Ok));
    return true;
  };
}

// Screenshots for the README when QRT_SHOTS names a folder: the screen's
// content of the window, i.e. what the X server shows.
void Shot(QWidget* w, const char* name) {
  const char* dir = std::getenv("QRT_SHOTS");
  if (!dir || !*dir || !w) return;
  QPixmap pm = w->screen()->grabWindow(w->winId());
  EXPECT_TRUE(pm.save(QString(dir) + "/" + name + ".png")) << name;
}

class QtWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::SetFrontEnd(&m_fe);
    ui::RunAs(kName);
  }
  void TearDown() override {
    fw::SetFrontEnd(nullptr);
    ui::RunAs("");
    fw::g_strAppName.clear();
  }
  // Runs dlg's window with the driver's steps; every step must have run.
  void Run(fw::Dialog& dlg) {
    dlg.DoModal();
    EXPECT_TRUE(m_driver.Done()) << "the window closed before every step ran";
  }
  // Steps that need the window: the step runs once it exists and is shown.
  void OnWindow(fw::Dialog& dlg, std::function<void(QDialog*)> fn) {
    m_driver.Then([&dlg, fn] {
      QDialog* w = ui::qt::QtFrontEnd::WindowOf(dlg);
      if (!w || !w->isVisible() || QApplication::activeModalWidget() != w) return false;
      fn(w);
      return true;
    });
  }
  // Two quick clicks on combo box id: one opens its list, one chooses
  // entry i in it.
  void PickFromList(fw::Dialog& dlg, int id, int i) {
    m_driver.Then([&dlg, id] {
      QWidget* cb = ui::qt::QtFrontEnd::ItemOf(dlg, id);
      if (!cb || !cb->isVisible()) return false;
      ClickWidget(cb, QPoint(cb->width() - 6, cb->height() / 2));
      return true;
    });
    m_driver.Then([&dlg, id, i] {
      auto* cb = qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, id));
      QAbstractItemView* view = cb->view();
      if (!view->isVisible()) return false;
      view->scrollTo(view->model()->index(i, 0));
      QRect rc = view->visualRect(view->model()->index(i, 0));
      ClickWidget(view->viewport(), rc.center());
      return true;
    });
    m_driver.Then([&dlg, id] {
      auto* cb = qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, id));
      return !cb->view()->isVisible();
    });
  }
  void Close(fw::Dialog& dlg) {
    m_driver.Then([&dlg] {
      if (QApplication::activeModalWidget() != ui::qt::QtFrontEnd::WindowOf(dlg)) return false;
      ui::qt::QtFrontEnd::WindowOf(dlg)->close();
      return true;
    });
  }

  ui::qt::QtFrontEnd m_fe;
  Driver m_driver;
};

// Rectangles as Windows maps dialog units: base units from the font's
// average character width ("A..Za..z") and height, x * cx / 4, y * cy / 8.
QRect Expected(const QFont& font, int x, int y, int cx, int cy) {
  QFontMetrics fm(font);
  int bx = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
  int by = fm.height();
  auto md = [](int a, int b, int c) { return (a * b * 2 + c) / (2 * c); };
  return QRect(QPoint(md(x, bx, 4), md(y, by, 8)), QPoint(md(x + cx, bx, 4) - 1, md(y + cy, by, 8) - 1));
}

bool Near(const QRect& a, const QRect& b) {
  return std::abs(a.left() - b.left()) <= 1 && std::abs(a.top() - b.top()) <= 1 &&
         std::abs(a.width() - b.width()) <= 1 && std::abs(a.height() - b.height()) <= 1;
}

std::string Str(const QRect& r) {
  return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// Every control of a template against the window: kind, rectangle, text,
// visibility, enabled state, and the tab order of the ones with tab stops.
void CheckAgainstTemplate(QDialog* w, const res::DialogTemplate& t) {
  QList<QWidget*> made = w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(made.size(), static_cast<qsizetype>(t.controls.size()));
  EXPECT_TRUE(Near(QRect(QPoint(0, 0), w->size()), Expected(w->font(), 0, 0, t.cx, t.cy)));
  EXPECT_EQ(QFontInfo(w->font()).pointSize(), t.pointSize);
  std::vector<QWidget*> stops;
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const res::ControlTemplate& c = t.controls[i];
    QWidget* m = made[static_cast<qsizetype>(i)];
    QRect want = Expected(w->font(), c.x, c.y, c.cx, c.cy);
    SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id) + " '" + c.text + "'");
    switch (c.kind) {
      case res::ControlKind::ComboDropDown: {
        auto* cb = qobject_cast<QComboBox*>(m);
        ASSERT_TRUE(cb);
        // The field at the template's place and width; the height is the
        // list's reach when dropped, checked where the list is opened.
        EXPECT_TRUE(Near(QRect(m->x(), m->y(), m->width(), want.height()), want)) << Str(m->geometry());
        EXPECT_LT(m->height(), want.height());
        EXPECT_TRUE(cb->isEditable());
        for (std::size_t k = 0; k < c.initialList.size() && c.id != IDC_DEVICE; ++k)
          EXPECT_EQ(cb->itemText(static_cast<int>(k)).toStdString(), c.initialList[k]);
        break;
      }
      case res::ControlKind::Bitmap:
      case res::ControlKind::Icon: {
        auto* l = qobject_cast<QLabel*>(m);
        ASSERT_TRUE(l);
        // A picture control takes its picture's size at the template's place.
        int frame = (c.style & res::kBorder) ? 2 : 0;
        QSize pic = l->pixmap().size();
        EXPECT_FALSE(pic.isEmpty());
        EXPECT_EQ(m->geometry(), QRect(want.topLeft(), pic + QSize(frame, frame)));
        if (c.kind == res::ControlKind::Icon) {
          EXPECT_EQ(pic, QSize(32, 32));
        }
        break;
      }
      default:
        EXPECT_TRUE(Near(m->geometry(), want)) << Str(m->geometry()) << " want " << Str(want);
    }
    if (c.kind == res::ControlKind::PushButton || c.kind == res::ControlKind::DefPushButton) {
      auto* b = qobject_cast<QPushButton*>(m);
      ASSERT_TRUE(b);
      EXPECT_EQ(b->isDefault(), c.kind == res::ControlKind::DefPushButton);
    }
    if (c.kind == res::ControlKind::Static && c.id == IDC_STATIC) {
      EXPECT_EQ(qobject_cast<QLabel*>(m)->text().toStdString(), c.text);
    }
    if (c.id == IDC_STATIC || c.id == IDOK || c.id == IDCANCEL) {
      EXPECT_EQ(!m->isHidden(), (c.style & res::kVisible) != 0);
      EXPECT_EQ(m->isEnabled(), (c.style & res::kDisabled) == 0);
    }
    if (c.style & res::kTabStop) stops.push_back(m);
  }
  // Tab moves through the tab stops in template order, and round.
  for (std::size_t i = 0; i < stops.size(); ++i) {
    QWidget* next = stops[i]->nextInFocusChain();
    while (next != w && std::find(stops.begin(), stops.end(), next) == stops.end()) next = next->nextInFocusChain();
    QWidget* want = stops[(i + 1) % stops.size()];
    if (i + 1 == stops.size()) continue;  // the chain runs on through the dialog itself
    EXPECT_EQ(next, want) << "after tab stop " << i;
  }
}

TEST_F(QtWindow, MainWindowIsBuiltFromTemplate102) {
  UpdateDialog dlg;
  const res::DialogTemplate& t = *res::FindTemplate(IDD_QRTUPDATE_DIALOG);
  OnWindow(dlg, [&](QDialog* w) {
    CheckAgainstTemplate(w, t);
    EXPECT_EQ(w->windowTitle().toStdString(), "Orvelt&Pannik QRT Update");
    EXPECT_FALSE(w->windowIcon().isNull());
    auto* device = qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, IDC_DEVICE));
    EXPECT_EQ(device->currentIndex(), 0);
    EXPECT_EQ(device->count(), 5);
    EXPECT_EQ(device->lineEdit()->cursorPosition(), 0);  // the start of the entry shows
    EXPECT_EQ(m_fe.ComboGetCurSel(dlg, IDC_GPIBADDRESS), 29);
    // The dropped lists reach no further than their templates' heights.
    for (int id : {IDC_DEVICE, IDC_INTERFACE}) {
      auto* cb = qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, id));
      cb->showPopup();
      QWidget* popup = cb->view()->window();
      ASSERT_TRUE(popup->isVisible());
      const res::ControlTemplate* c = t.Find(id);
      QRect want = Expected(w->font(), c->x, c->y, c->cx, c->cy);
      int bottom = popup->mapToGlobal(QPoint(0, popup->height())).y() - w->mapToGlobal(QPoint(0, 0)).y();
      EXPECT_LE(bottom, want.bottom() + 2) << "combo " << id;
      EXPECT_GT(bottom, cb->geometry().bottom() + 10) << "combo " << id;
      cb->hidePopup();
    }
    EXPECT_EQ(qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, IDC_INTERFACE))->maxVisibleItems() > 1, true);
  });
  Close(dlg);
  Run(dlg);
}

// The brands, and the hidden mode, as the start name chooses them.
TEST_F(QtWindow, BrandsAndHiddenMode) {
  struct Case {
    const char* name;
    const char* shot;
    const char* title;
    bool qrtBanner;
    bool deviceList;
    bool createShown;
  } cases[] = {
      {"QRT_Update_TALVO_FWV2.04", "linux-main-talvo", "TALVO QRT Update", true, true, false},
      {kName, "linux-main-op", "Orvelt&Pannik QRT Update", true, true, false},
      {"QRT_Update_MURELL_FWV2.04", "linux-main-murell", "MURELL QRT Update", false, false, false},
      {"QRT_Update_OP_WRAPIMAGES_FWV2.04", "linux-main-hidden-mode", "Orvelt&Pannik QRT Update", true, true, true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ui::RunAs(k.name);
    UpdateDialog dlg;
    OnWindow(dlg, [&](QDialog* w) {
      EXPECT_EQ(w->windowTitle().toStdString(), k.title);
      EXPECT_EQ(!ui::qt::QtFrontEnd::ItemOf(dlg, IDC_BANNER_QRT)->isHidden(), k.qrtBanner);
      EXPECT_EQ(!ui::qt::QtFrontEnd::ItemOf(dlg, IDC_BANNER_ZVN)->isHidden(), !k.qrtBanner);
      EXPECT_EQ(ui::qt::QtFrontEnd::ItemOf(dlg, IDC_DEVICE)->isEnabled(), k.deviceList);
      EXPECT_EQ(!ui::qt::QtFrontEnd::ItemOf(dlg, IDC_CREATE_ENC)->isHidden(), k.createShown);
      if (!k.deviceList) {
        EXPECT_EQ(m_fe.GetItemText(dlg, IDC_UPDATE), "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  2.04");
      }
      Shot(w, k.shot);
    });
    Close(dlg);
    Run(dlg);
  }
}

// Quick clicks choose entries of both lists: QRT1440, whose caption the
// update button takes, then USB, which is refused.
TEST_F(QtWindow, QuickClicksChooseEntries) {
  UpdateDialog dlg;
  PickFromList(dlg, IDC_DEVICE, 4);
  OnWindow(dlg, [&](QDialog*) {
    EXPECT_EQ(m_fe.ComboGetCurSel(dlg, IDC_DEVICE), 4);
    EXPECT_EQ(m_fe.GetItemText(dlg, IDC_UPDATE), "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04");
  });
  PickFromList(dlg, IDC_INTERFACE, 29);
  BoxSeen usb;
  m_driver.Then(AnswerBox(usb));
  OnWindow(dlg, [&](QDialog*) {
    EXPECT_EQ(usb.text, "USB is not supported at the moment!");
    EXPECT_EQ(usb.caption, kName);
    EXPECT_EQ(usb.icon, QMessageBox::Warning);
    EXPECT_EQ(usb.parent, ui::qt::QtFrontEnd::WindowOf(dlg));
    EXPECT_EQ(m_fe.GetItemText(dlg, IDC_INTERFACE), "COM1");
    EXPECT_EQ(dlg.m_nInterface, 1);
  });
  Close(dlg);
  Run(dlg);
}

}  // namespace
