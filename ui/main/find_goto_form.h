// Find and Go to of the parameter view: Find looks for a text in the descriptions of the lines
// of the view's page, up or down from the last hit; Go to picks a line by its code within a
// page. The dialog never moves the grid itself: it asks the view to go to each line (GotoRow,
// queued), so the user can search again while the dialog stays open.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace ui {

class TParamForm;

class TFindGotoForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFindGotoForm(TParamForm* owner);

  QTabWidget* PageControl;
  QWidget* FindSheet;
  QLabel* Label1;
  QLineEdit* editFind;
  QGroupBox* GroupBox1;
  QRadioButton* RadioUp;
  QRadioButton* RadioDown;
  QPushButton* FindButton;
  QPushButton* CancelButton;
  QWidget* GotoSheet;
  QLabel* Label2;
  QComboBox* comboCode;
  QGroupBox* GroupBox2;
  std::array<QRadioButton*, 9> RadioGroup{};
  QPushButton* GotoButton;
  QPushButton* CloseButton;

  std::int32_t DocumentModel = 0;
  std::int32_t GotoGroup = 1;
  std::int32_t FindIndex = -1;
  std::int32_t FindGroup = 0;
  std::vector<std::int32_t> GotoIndexes;

  void UpdateList();
  void RadioGroupClick(int k);  // k 1..9
  void FindButtonClick();
  void GotoButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void PostGotoRow(int index, int group);

  TParamForm* owner_;
};

// The line Find stops at: the first line after `from` (down, toward the end of the document) or
// before it (up), in display group `group`, whose description in the current language holds
// `text` (letters compared without case); -1 when there is none or `text` is empty. The search
// does not wrap around.
int FindLine(const QString& text, int from, int group, bool down);

}  // namespace ui
