// The small modal dialogs of the document commands: model choice, the three compare set-ups,
// station titles, print title and set, and the about box. They only collect choices; the
// command that created one reads its widgets after an IdOk result.
#pragma once

#include <QDialog>
#include <array>

class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ui {

// Base of the dialogs: closing by Escape or the window frame ends with IdCancel, like Cancel.
class TDocumentDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TDocumentDialog(QWidget* owner);
  void reject() override;

 protected:
  // Adds OK and Cancel (Cancel may be left out) at the bottom of `layout`.
  void AddButtons(QBoxLayout* layout, bool withCancel = true);

 public:
  QPushButton* OK = nullptr;
  QPushButton* Cancel = nullptr;
};

// Fills a combo box with the names of all models, selecting the first.
void FillModelList(QComboBox* combo);

class TNewModelForm : public TDocumentDialog {
  Q_OBJECT
 public:
  explicit TNewModelForm(QWidget* owner);
  QComboBox* comboModel;
  std::array<QLabel*, 8> infoLabels{};  // Label1 .. Label8
  QLabel* Label9;

 public slots:
  void comboModelChange();
  void OKClick();
};

class TCompareDefForm : public TDocumentDialog {
  Q_OBJECT
 public:
  explicit TCompareDefForm(QWidget* owner);
  QComboBox* comboModel;
  QLabel* Label2;
 public slots:
  void OKClick();
};

// Picks parameter files into line edits (shared by the two file compare set-ups).
class TFilePickDialog : public TDocumentDialog {
  Q_OBJECT
 public:
  using TDocumentDialog::TDocumentDialog;
  // Runs the open dialog for parameter files; a confirmed choice goes into `target`.
  static void PickFile(QLineEdit* target);
};

class TCompareFileForm : public TFilePickDialog {
  Q_OBJECT
 public:
  explicit TCompareFileForm(QWidget* owner);
  QGroupBox* GroupBox1;
  QLineEdit* file1;
  QLineEdit* file2;
  QPushButton* Button1;
  QPushButton* Button2;
 public slots:
  void Button1Click();
  void Button2Click();
  void OKClick();
};

class TCompareFilesForm : public TFilePickDialog {
  Q_OBJECT
 public:
  explicit TCompareFilesForm(QWidget* owner);
  QGroupBox* GroupBox1;
  QGroupBox* GroupBox2;
  QLabel* Label9;
  QLineEdit* file1;
  QLineEdit* file2;
  QLineEdit* file3;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QComboBox* comboModel;
 public slots:
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void OKClick();
};

class TStationForm : public TDocumentDialog {
  Q_OBJECT
 public:
  explicit TStationForm(QWidget* owner);
  QTableWidget* stationGrid;
  QPushButton* Clear;
  // Column 1 of row n (station n, 1..254).
  QString Title(int station) const;
  void SetTitle(int station, const QString& title);
 public slots:
  void ClearClick();
};

class TPrintTitleForm : public TDocumentDialog {
  Q_OBJECT
 public:
  explicit TPrintTitleForm(QWidget* owner);
  // editTitle, editVer, editCompany, editDate, editProgrammer, editRemark1..3 in store order.
  std::array<QLineEdit*, 8> titleEdits{};
  QLineEdit* editPage;
  QCheckBox* checkPrint;
  std::array<QCheckBox*, 9> checkGroup{};  // checkGroup1 .. checkGroup9
  QGroupBox* GroupBox1;
  QGroupBox* GroupBox2;
  QPushButton* Clear;
  // Pixels taken off the layout's height for the group boxes that do not show.
  int ShrunkBy() const { return shrunkBy_; }
 public slots:
  void ClearClick();

 private:
  int shrunkBy_ = 0;
};

class TAboutForm : public TDocumentDialog {
  Q_OBJECT
 public:
  explicit TAboutForm(QWidget* owner);
  QLabel* ImageLogo;
  QLabel* LabelInfo;
  QLabel* LabelCopyright;
  QLabel* LabelURL;
  bool LogoLoaded() const { return logoLoaded_; }
 public slots:
  void LabelURLClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool logoLoaded_ = false;
};

}  // namespace ui
