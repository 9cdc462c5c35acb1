#include "ui/drive/lamps.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace ui {

void SetLampColour(QWidget* lamp, const QColor& colour) {
  QPalette palette = lamp->palette();
  palette.setColor(QPalette::Window, colour.isValid() ? colour : QApplication::palette().color(QPalette::Window));
  lamp->setPalette(palette);
  lamp->setAutoFillBackground(true);
}

QColor LampColour(const QWidget* lamp) { return lamp->palette().color(QPalette::Window); }

}  // namespace ui
