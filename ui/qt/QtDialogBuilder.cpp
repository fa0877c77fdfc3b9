#include "ui/qt/QtDialogBuilder.h"

#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>

#include "app/res/resource.h"

namespace ui::qt {

namespace {

int MulDiv(int a, int b, int c) { return (2 * a * b + c) / (2 * c); }

QPixmap PictureOf(const res::ControlTemplate& c) {
  if (c.kind == res::ControlKind::Icon) return QIcon(":/qrtupdate/qrtupdate.ico").pixmap(32, 32);
  if (c.resource == IDB_BANNER_ZVN) return QPixmap(":/qrtupdate/banner_zvn.bmp");
  return QPixmap(":/qrtupdate/banner_qrt.bmp");
}

QWidget* MakeControl(QDialog& dlg, const res::ControlTemplate& c, const QRect& rc) {
  QWidget* w = nullptr;
  switch (c.kind) {
    case res::ControlKind::PushButton:
    case res::ControlKind::DefPushButton: {
      auto* b = new QPushButton(FromProgramText(c.text), &dlg);
      b->setDefault(c.kind == res::ControlKind::DefPushButton);
      b->setGeometry(rc);
      w = b;
      break;
    }
    case res::ControlKind::Progress: {
      auto* p = new QProgressBar(&dlg);
      p->setRange(0, 100);  // the native control's range until told
      p->setValue(0);
      p->setTextVisible(false);
      p->setGeometry(rc);
      w = p;
      break;
    }
    case res::ControlKind::ListBox: {
      auto* l = new QListWidget(&dlg);
      l->setVerticalScrollBarPolicy((c.style & res::kVScrollAlways) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
      l->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      l->setSelectionMode(QAbstractItemView::SingleSelection);
      l->setUniformItemSizes(true);
      if (!(c.style & res::kBorder)) l->setFrameShape(QFrame::NoFrame);
      l->setGeometry(rc);
      w = l;
      break;
    }
    case res::ControlKind::Edit: {
      auto* e = new QLineEdit(FromProgramText(c.text), &dlg);
      e->setFrame((c.style & res::kBorder) != 0);
      e->setGeometry(rc);
      w = e;
      break;
    }
    case res::ControlKind::Static: {
      auto* s = new QLabel(StaticText(c.text, (c.style & res::kNoPrefix) != 0), &dlg);
      s->setTextFormat(Qt::PlainText);
      s->setWordWrap(true);
      s->setAlignment(((c.style & res::kCentre) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
      s->setGeometry(rc);
      w = s;
      break;
    }
    case res::ControlKind::ComboDropDown: {
      // An edit field with a list that drops down below it; the field keeps
      // its own height, the template's height is the dropped list's reach.
      auto* cb = new QComboBox(&dlg);
      cb->setEditable(true);
      cb->setInsertPolicy(QComboBox::NoInsert);
      cb->setGeometry(rc.x(), rc.y(), rc.width(), cb->sizeHint().height());
      w = cb;
      break;
    }
    case res::ControlKind::Bitmap:
    case res::ControlKind::Icon: {
      // A picture control takes its picture's size, as the native one does.
      auto* s = new QLabel(&dlg);
      QPixmap pm = PictureOf(c);
      s->setPixmap(pm);
      int frame = 0;
      if (c.style & res::kBorder) {
        s->setFrameShape(QFrame::Box);
        s->setLineWidth(1);
        frame = 1;
      }
      s->setGeometry(rc.x(), rc.y(), pm.width() + 2 * frame, pm.height() + 2 * frame);
      w = s;
      break;
    }
  }
  return w;
}

}  // namespace

QFont DialogFont(const res::DialogTemplate& d) {
  // A sans font with the widths of the Windows dialog font where one is
  // installed (Liberation Sans has Arial's), else the desktop's sans.
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(d.pointSize);
  return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
  QFontMetrics fm(font);
  int width = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(width / 26 + 1) / 2, fm.height()};
}

QRect MapDialogRect(const BaseUnits& bu, int x, int y, int cx, int cy) {
  int left = MulDiv(x, bu.cx, 4), top = MulDiv(y, bu.cy, 8);
  int right = MulDiv(x + cx, bu.cx, 4), bottom = MulDiv(y + cy, bu.cy, 8);
  return QRect(left, top, right - left, bottom - top);
}

QString FromProgramText(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToProgramText(const QString& text) { return text.toLatin1().toStdString(); }

QString StaticText(const std::string& text, bool noPrefix) {
  if (noPrefix) return FromProgramText(text);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out.push_back(text[i]);
  }
  return FromProgramText(out);
}

QString FileDialogFilter(const std::string& filter) {
  QStringList parts = FromProgramText(filter).split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString display = parts[i], pattern = parts[i + 1];
    if (display.isEmpty() || pattern.isEmpty()) break;  // "||" ends the list
    pattern.replace(';', ' ');
    // Qt reads the patterns from the parentheses that end an entry.
    if (!display.endsWith("(" + pattern + ")")) display += " (" + pattern + ")";
    entries << display;
  }
  return entries.join(";;");
}

std::map<int, QWidget*> BuildDialog(QDialog& dlg, const res::DialogTemplate& d) {
  QFont font = DialogFont(d);
  dlg.setFont(font);
  BaseUnits bu = BaseUnitsOf(font);
  QRect client = MapDialogRect(bu, 0, 0, d.cx, d.cy);
  dlg.setFixedSize(client.size());
  dlg.setWindowTitle(FromProgramText(d.caption));

  std::map<int, QWidget*> items;
  QWidget* previousStop = nullptr;
  for (const res::ControlTemplate& c : d.controls) {
    QWidget* w = MakeControl(dlg, c, MapDialogRect(bu, c.x, c.y, c.cx, c.cy));
    if (!w) continue;
    bool isPicture = c.kind == res::ControlKind::Static || c.kind == res::ControlKind::Bitmap ||
                     c.kind == res::ControlKind::Icon || c.kind == res::ControlKind::Progress;
    // Template order is tab order; controls without a tab stop still take
    // the focus when clicked, as native ones do.
    if (isPicture)
      w->setFocusPolicy(Qt::NoFocus);
    else
      w->setFocusPolicy((c.style & res::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
    if ((c.style & res::kTabStop) && !isPicture) {
      if (previousStop) QWidget::setTabOrder(previousStop, w);
      previousStop = w;
    }
    if (c.style & res::kDisabled) w->setEnabled(false);
    if (!(c.style & res::kVisible)) w->setHidden(true);
    if (c.id != IDC_STATIC) items[c.id] = w;
  }
  return items;
}

}  // namespace ui::qt
