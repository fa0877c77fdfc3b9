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
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
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
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "app/InfoDialog.h"
#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "app/res/templates.h"
#include "ui/common/StartName.h"
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
  bool Done() const { return m_steps.empty() && !m_bStuck; }

 private:
  // Qt does not fire a timer again while its handler runs, and a step may
  // open a modal loop: each step runs from a single-shot timer of its own.
  void Tick() {
    if ((m_steps.empty() && !m_bStuck) || m_bScheduled) return;
    m_bScheduled = true;
    QTimer::singleShot(0, [this] {
      m_bScheduled = false;
      RunStep();
    });
  }
  void RunStep() {
    if (m_bStuck) {
      // Every window still open is closed, innermost first, so that the
      // case ends instead of hanging.
      if (QWidget* w = QApplication::activeModalWidget()) w->close();
      return;
    }
    if (m_steps.empty()) return;
    if (++m_nTicks > 60 * 50) {  // a minute without progress: the window is stuck
      ADD_FAILURE() << "a step did not happen within a minute";
      m_bStuck = true;
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
  bool m_bScheduled = false;
  bool m_bStuck = false;
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

// A widget whose window the X server shows: input sent to its place
// reaches it.
bool Shown(QWidget* w) {
  QWindow* x = w ? w->window()->windowHandle() : nullptr;
  return x && w->isVisible() && x->isExposed();
}

QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

struct BoxSeen {
  std::string text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QWidget* parent = nullptr;
  std::string details;  // behind "Show Details..."
};

// A step: waits for a message box, notes it and presses its OK button.
std::function<bool()> AnswerBox(BoxSeen& seen) {
  return [&seen] {
    QMessageBox* box = OpenBox();
    if (!Shown(box)) return false;
    seen = {box->text().toStdString(), box->windowTitle().toStdString(), box->icon(), box->parentWidget(),
            box->detailedText().toStdString()};
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
      if (!Shown(w) || QApplication::activeModalWidget() != w) return false;
      fn(w);
      return true;
    });
  }
  // Two quick clicks on combo box id: one opens its list, one chooses
  // entry i in it.
  void PickFromList(fw::Dialog& dlg, int id, int i) {
    m_driver.Then([&dlg, id] {
      QWidget* cb = ui::qt::QtFrontEnd::ItemOf(dlg, id);
      if (!Shown(cb)) return false;
      ClickWidget(cb, QPoint(cb->width() - 6, cb->height() / 2));
      return true;
    });
    m_driver.Then([&dlg, id, i] {
      auto* cb = qobject_cast<QComboBox*>(ui::qt::QtFrontEnd::ItemOf(dlg, id));
      QAbstractItemView* view = cb->view();
      if (!Shown(view->window())) return false;
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

// A port that is not there: the box keeps the program's text and caption,
// and says why behind "Show Details...": the port, the path, the cause.
TEST_F(QtWindow, PortNotThereSaysWhyInTheDetails) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* name : {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"}) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(QByteArray(128000, '\x5a')), 128000);
  }
  const QString strHere = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const std::string strPort = dir.filePath("no-such-tty").toStdString();
  qputenv("QRTUPDATE_COM1", QByteArray::fromStdString(strPort));
  UpdateDialog dlg;
  PickFromList(dlg, IDC_DEVICE, 4);
  OnWindow(dlg, [&](QDialog*) { ClickWidget(ui::qt::QtFrontEnd::ItemOf(dlg, IDC_UPDATE)); });
  BoxSeen box;
  m_driver.Then(AnswerBox(box));
  OnWindow(dlg, [&](QDialog*) {
    EXPECT_EQ(box.text, "can not open port!");
    EXPECT_EQ(box.caption, kName);
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.details.rfind("COM1 (" + strPort + ") not opened: not found: no device at this path", 0), 0u)
        << box.details;
    EXPECT_EQ(dlg.m_nError, 99);
  });
  Close(dlg);
  Run(dlg);
  qunsetenv("QRTUPDATE_COM1");
  QDir::setCurrent(strHere);
}

// The About entry is in the window's context menu: it opens the Info
// dialog, built from template 100 with the brand's texts. F1 is Help there.
TEST_F(QtWindow, InfoDialogFromTheContextMenu) {
  UpdateApp app;
  UpdateDialog dlg;
  app.m_pMainWnd = &dlg;
  OnWindow(dlg, [&](QDialog* w) { ClickAt(w->mapToGlobal(QPoint(20, 300)), 3); });
  m_driver.Then([&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!Shown(menu)) return false;
    QAction* about = nullptr;
    for (QAction* a : menu->actions())
      if (a->text() == QString::fromLatin1("&Info \xFC" "ber QRT1220...")) about = a;
    EXPECT_TRUE(about);
    if (about) ClickWidget(menu, menu->actionGeometry(about).center());
    return true;
  });
  BoxSeen help;
  m_driver.Then([&] {
    auto* info = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!Shown(info) || info == ui::qt::QtFrontEnd::WindowOf(dlg)) return false;
    EXPECT_EQ(info->windowTitle().toStdString(), "Info...");
    EXPECT_EQ(info->parentWidget(), ui::qt::QtFrontEnd::WindowOf(dlg));
    CheckAgainstTemplate(info, *res::FindTemplate(IDD_ABOUTBOX));
    InfoDialog::Texts t = InfoDialog::TextsForBrand(kBrandOp);
    auto text = [&](int id) {
      const auto& cs = res::FindTemplate(IDD_ABOUTBOX)->controls;
      for (std::size_t i = 0; i < cs.size(); ++i)
        if (cs[i].id == id) return info->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)[static_cast<qsizetype>(i)];
      return static_cast<QWidget*>(nullptr);
    };
    EXPECT_EQ(qobject_cast<QLabel*>(text(IDC_INFO_OWNER))->text().toStdString(), "Sold under licence by\nOrvelt and Pannik");
    EXPECT_EQ(qobject_cast<QLabel*>(text(IDC_INFO_PROGRAM))->text().toStdString(), t.strProgram);
    EXPECT_EQ(qobject_cast<QLabel*>(text(IDC_INFO_FIRMWARE))->text().toStdString(), t.strFirmware);
    Shot(info, "linux-info-op");
    Xdo({"key", "F1"});
    return true;
  });
  m_driver.Then(AnswerBox(help));
  m_driver.Then([&] {
    auto* info = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!info || info == ui::qt::QtFrontEnd::WindowOf(dlg)) return false;
    EXPECT_EQ(help.text, "The help is the manual page: man qrtupdate-gui");
    EXPECT_EQ(help.caption, kName);
    EXPECT_EQ(help.icon, QMessageBox::Information);
    Xdo({"key", "Return"});  // OK, the default button
    return true;
  });
  Close(dlg);
  Run(dlg);
}

// Input that waits while a transfer repaints, or while a long command runs,
// is dropped; after a selection change it is kept.
TEST_F(QtWindow, InputGivenDuringACommandIsDropped) {
  UpdateDialog dlg;
  OnWindow(dlg, [&](QDialog* w) {
    auto post = [&] {
      QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
      QWidget* info = ui::qt::QtFrontEnd::ItemOf(dlg, IDC_INFO);
      QCoreApplication::postEvent(info, new QMouseEvent(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3),
                                                       info->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                                                       Qt::LeftButton, Qt::NoModifier));
      QCoreApplication::postEvent(info, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(3, 3), QPointF(3, 3),
                                                       info->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                                                       Qt::NoButton, Qt::NoModifier));
      QCoreApplication::postEvent(w, new QCloseEvent);
    };
    // What a transfer does after each page.
    post();
    m_fe.RepaintNow(dlg);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(QApplication::activeModalWidget(), w);  // no Info dialog
    // After a long command (the USB probe, quiet without its library).
    post();
    m_fe.OnControlCommand(dlg, fw::Msg::Command, IDC_USBPROBE);
    QCoreApplication::processEvents();
    EXPECT_FALSE(dlg.IsEnded());
    // After a selection change the Escape key still cancels the window.
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    m_fe.OnControlCommand(dlg, fw::Msg::SelChange, IDC_DEVICE);
  });
  Run(dlg);
  EXPECT_TRUE(dlg.IsEnded());
  EXPECT_EQ(dlg.Result(), IDCANCEL);
}

TEST_F(QtWindow, ChannelFileDialog) {
  EXPECT_EQ(ui::qt::FileDialogFilter("TALVO hex file(*.hex)|*.hex||").toStdString(), "TALVO hex file(*.hex)");
  EXPECT_EQ(ui::qt::FileDialogFilter("HEX|*.hex;*.ihx|All|*.*||").toStdString(), "HEX (*.hex *.ihx);;All (*.*)");

  QString dir = QDir::currentPath();
  QString file = dir + "/channel_test.hex";
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(":00000001FF\n");
  }
  UpdateDialog dlg;
  for (bool choose : {true, false}) {
    OnWindow(dlg, [&dlg](QDialog*) { dlg.OnChannelFile(); });
    m_driver.Then([&, choose] {
      auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!Shown(fd)) return false;
      EXPECT_EQ(fd->directory().absolutePath(), dir);
      EXPECT_EQ(fd->nameFilters(), QStringList{"TALVO hex file(*.hex)"});
      EXPECT_EQ(fd->fileMode(), QFileDialog::ExistingFile);
      auto* buttons = fd->findChild<QDialogButtonBox*>();
      EXPECT_TRUE(buttons);
      if (!buttons) return true;
      if (choose) {
        // The name typed into the dialog's field, which has the focus, and
        // Return: the dialog itself checks that the file exists.
        Xdo({"type", "--delay", "20", "channel_test.hex"});
        Xdo({"key", "Return"});
      } else {
        ClickWidget(buttons->button(QDialogButtonBox::Cancel));
      }
      return true;
    });
    OnWindow(dlg, [&, choose](QDialog*) {
      // A cancelled dialog empties the field, as the Windows program's does.
      EXPECT_EQ(m_fe.GetItemText(dlg, IDC_CHANNELFILE), choose ? file.toStdString() : "");
    });
  }
  Close(dlg);
  Run(dlg);
  QFile::remove(file);
}

// A name without a brand word: the box, and the window closes before it is
// ever shown.
TEST_F(QtWindow, FileRenamed) {
  ui::RunAs("qrtupdate-gui");
  UpdateDialog dlg;
  BoxSeen box;
  m_driver.Then(AnswerBox(box));
  Run(dlg);
  EXPECT_EQ(box.text, "FILE RENAMED!\nCLOSE PROGRAM!");
  EXPECT_EQ(box.caption, "qrtupdate-gui");
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_TRUE(dlg.IsEnded());
}

// A full QRT1440 update over COM1, which QRTUPDATE_COM1 maps to qrtsim's
// pseudo-terminal (tests/qt/gui_update.sh starts it and checks the pages the
// simulator received against the containers).
TEST_F(QtWindow, FullUpdate) {
  const char* pty = std::getenv("QRTUPDATE_COM1");
  ASSERT_TRUE(pty && *pty) << "QRTUPDATE_COM1 must name qrtsim's port (run through gui_update.sh)";
  UpdateDialog dlg;
  PickFromList(dlg, IDC_DEVICE, 4);
  OnWindow(dlg, [&](QDialog*) { ClickWidget(ui::qt::QtFrontEnd::ItemOf(dlg, IDC_UPDATE)); });
  // Mid-transfer the screen shows the lines and the progress so far: the
  // transfer repaints after every page, and this step runs between pages.
  m_driver.Then([&] {
    if (m_fe.ListGetCount(dlg, IDC_LIST) < 200) return false;
    Shot(ui::qt::QtFrontEnd::WindowOf(dlg), "linux-main-during-update");
    return true;
  });
  BoxSeen done;
  m_driver.Then([&] {
    QMessageBox* box = OpenBox();
    if (!Shown(box)) return false;
    Shot(ui::qt::QtFrontEnd::WindowOf(dlg), "linux-main-after-update");
    return true;
  });
  m_driver.Then(AnswerBox(done));
  OnWindow(dlg, [&](QDialog*) {
    EXPECT_EQ(done.text, "Firmware successfully updated! Please restart device!");
    EXPECT_EQ(done.icon, QMessageBox::Information);
    EXPECT_EQ(dlg.m_nError, 0);
    EXPECT_EQ(m_fe.ListGetCount(dlg, IDC_LIST), 680);
    EXPECT_EQ(m_fe.ListGetText(dlg, IDC_LIST, 0), "Channel controller update successful!");
  });
  Close(dlg);
  Run(dlg);
}

}  // namespace
