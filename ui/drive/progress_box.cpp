#include "ui/drive/progress_box.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>

namespace ui {

TProgressBox::TProgressBox(QWidget* parent, const char* name) : QDialog(parent) {
  setObjectName(name);
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  bevel_ = new QFrame(this);
  bevel_->setFrameStyle(QFrame::Box | QFrame::Raised);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  ProgBar = new QProgressBar(this);
  ProgBar->setObjectName("ProgBar");
  SetBoxWidth(300);
}

void TProgressBox::SetBoxWidth(int width) {
  setFixedSize(width, 64);
  bevel_->setGeometry(0, 0, width, 64);
  Label1->setGeometry(12, 8, width - 24, 20);
  ProgBar->setGeometry(12, 34, width - 24, 18);
}

}  // namespace ui
