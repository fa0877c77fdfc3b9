// Builds a Qt widget tree from the program's template data, so that the
// Linux window and every other front end share one description of each
// window. Positions and sizes are dialog units converted with the dialog
// font's base units, the way the Windows dialog manager converts them.
#pragma once
#include <map>
#include <string>

#include <QFont>
#include <QRect>
#include <QString>

#include "app/res/templates.h"

class QWidget;
class QDialog;

namespace ui::qt {

// Average character width and height of a font, as Windows measures them
// for a dialog (the mean width of "A..Za..z", rounded; the text height).
struct BaseUnits {
  int cx = 0;
  int cy = 0;
};

// A sans font at the template's point size.
QFont DialogFont(const res::DialogTemplate& d);
BaseUnits BaseUnitsOf(const QFont& font);
// x * cx / 4 and y * cy / 8, rounded like MulDiv.
QRect MapDialogRect(const BaseUnits& bu, int x, int y, int cx, int cy);

// 8-bit program text (ISO 8859-1, which the program's strings keep to) and back.
QString FromProgramText(const std::string& text);
std::string ToProgramText(const QString& text);
// A static control's text as shown: "&&" is one ampersand, a single one
// only marks the next letter, unless the control shows ampersands as they are.
QString StaticText(const std::string& text, bool noPrefix);

// The file-open dialog's filter in Qt's form: the pairs of "display|pattern"
// become "display (pattern)" entries, separated by ";;".
QString FileDialogFilter(const std::string& filter);

// Makes every control of the template inside dlg (which gets the template's
// font and client size) and returns them by control id; controls that code
// never addresses are made too but not returned.
std::map<int, QWidget*> BuildDialog(QDialog& dlg, const res::DialogTemplate& d);

}  // namespace ui::qt
