// The favourite ("definite") parameters: an ordered list of parameter codes kept in the
// settings ("ParameterDefinite" = count, "ParameterDefinite<i>" = code i), shown for the open
// document in a grid of their own whose setting column is edited under the parameter view's
// rules; the add dialog edits the list itself.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "ui/main/setting_grid.h"

class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace ui {

class TParamForm;

// The stored list, in order (codes of every model).
std::vector<std::string> ReadFavourites();
// Stores the list in one settings write; entries numbered beyond it stay but are not read.
bool WriteFavourites(const std::vector<std::string>& codes);

class TDefiniteForm : public QDialog, public SettingGridOwner {
  Q_OBJECT
 public:
  // `owner` is the parameter view told to refresh its settings after each stored value.
  explicit TDefiniteForm(QWidget* owner);

  QPushButton* AddButton;
  QPushButton* CloseButton;
  QGroupBox* GroupBox1;
  SettingGrid* parGrid;

  std::int32_t CurrentRow = 1;
  std::int32_t SelectedIndex = -1;
  std::int32_t EditIndex = -1;
  QString LastAcceptedText;
  QString TextBeforeEdit;

  void FillGrid();
  void AddButtonClick();

  // The grid in its own row numbers (row 0 the header row).
  int RowCount() const;
  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  void SelectRow(int row);
  // Opens the editor on the selected setting cell as the edit key does; false when it stays closed.
  bool OpenEditor();
  QLineEdit* Editor() const;
  // Closes an open editor, committing its text.
  void CommitEditor();

  // Handlers of the grid.
  bool parGridSelectCell(int column, int row) override;
  EditorOpening parGridGetEditMask(int column, int row) override;
  void parGridSetEditText(int column, int row, const QString& text, bool closing) override;
  void parGridDrawCell(QPainter* painter, int column, int row, const QRect& rect) override;
  Qt::CursorShape parGridMouseMove(int column, int row) const override;

 private:
  void FormCreate();
  void CommitEntry(int row, const QString& text);
  void FillRow(int row, int index);

  QWidget* owner_;
  bool quiet_ = false;
  bool committing_ = false;
};

class TDefiniteAddForm : public QDialog {
  Q_OBJECT
 public:
  explicit TDefiniteAddForm(QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QListWidget* listPar;
  QGroupBox* GroupBox2;
  QListWidget* listDef;
  QPushButton* AddAllButton;
  QPushButton* RemoveAllButton;
  QPushButton* UpButton;
  QPushButton* DownButton;
  QPushButton* AddButton;
  QPushButton* RemoveButton;
  QPushButton* OK;
  QPushButton* Cancel;

  std::vector<std::int32_t> ParameterIndexes;
  // Every definition index that is a favourite (no limit on the index).
  std::set<std::int32_t> FavouriteSet;
  std::int32_t DocumentModel = 0;
  std::vector<std::int32_t> FavouriteIndexes;

  void RefreshLists();
  void AddButtonClick();
  void RemoveButtonClick();
  void AddAllButtonClick();
  void RemoveAllButtonClick();
  void UpButtonClick();
  void DownButtonClick();
  // The codes of the favourites, in list order.
  std::vector<std::string> Codes() const;

 private:
  void FormCreate();
  void Append(int index);
};

}  // namespace ui
