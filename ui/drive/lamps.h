// The bit lamps of the drive windows: panels lit red for alarm-like bits or green for state
// bits, unlit in the window's own colour.
#pragma once

#include <QColor>

class QWidget;

namespace ui {

inline const QColor kLampRed(255, 0, 0);    // colour value 255
inline const QColor kLampGreen(0, 128, 0);  // colour value 0x8000

// Paints the lamp in `colour`; an invalid colour gives the window's own colour (unlit).
void SetLampColour(QWidget* lamp, const QColor& colour);
// The colour the lamp shows.
QColor LampColour(const QWidget* lamp);

}  // namespace ui
