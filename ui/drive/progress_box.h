// The small frameless progress window of the transfers to and from a drive: a raised frame with
// a line of text over a progress bar.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;

namespace ui {

class TProgressBox : public QDialog {
  Q_OBJECT
 public:
  // 300 by 64 pixels, named `name`.
  TProgressBox(QWidget* parent, const char* name);

  QLabel* Label1;
  QProgressBar* ProgBar;

 protected:
  // Makes the window `width` pixels wide, the text and the bar with it.
  void SetBoxWidth(int width);

 private:
  QFrame* bevel_;
};

}  // namespace ui
