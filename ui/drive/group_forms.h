// The transfer-group choice before a bulk read (TReadForm) or write (TWriteForm): one check
// box per transfer group that the linked model's definitions use.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace ui {

class TGroupForm : public QDialog {
  Q_OBJECT
 public:
  // The flags of groups 1..9: the box is shown and checked.
  std::array<bool, 9> Flags() const;
  // The height the window lost because of groups the model does not use.
  int Shrink() const { return shrink_; }

  QGroupBox* GroupBox2;
  std::array<QCheckBox*, 9> checkGroup{};
  QPushButton* OK;
  QPushButton* Cancel;

 public slots:
  void OKClick();

 protected:
  TGroupForm(QWidget* parent, int width, int height, int captionId);

 private:
  int shrink_ = 0;
};

class TReadForm : public TGroupForm {
  Q_OBJECT
 public:
  explicit TReadForm(QWidget* parent = nullptr);
};

class TWriteForm : public TGroupForm {
  Q_OBJECT
 public:
  explicit TWriteForm(QWidget* parent = nullptr);
};

}  // namespace ui
