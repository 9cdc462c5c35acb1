// Companions of the typed edit: the lookup list settings with their popup, and the settings of
// saving and restoring the edit's text.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>
#include <QStringList>

class QListWidget;

namespace controls {

class TTypedEdit;

// Entries offered in a popup while the user types (off by default).
struct TLookupSettings {
  QStringList DisplayList;  // entries offered
  QStringList ValueList;    // optional values, parallel to DisplayList by index
  int DisplayCount = 4;     // visible rows and page size of Page Up / Page Down
  QColor Color{Qt::white};  // background of the list
  bool Enabled = false;
  bool CaseSensitive = false;
  int NumChars() const { return numChars_; }
  // Characters the text needs before the popup shows; 0 or less is ignored.
  void SetNumChars(int n) {
    if (n > 0) numChars_ = n;
  }

 private:
  int numChars_ = 2;
};

enum TPersistenceLocation { plInifile, plRegistry };

// Saving of the text (Prefix + text + Suffix) under the edit's objectName (off by default).
// plInifile: the INI file Key (empty: the program's path with the extension ".INI"), section
// Section. plRegistry: the program's settings store, under the name Key\Section\<objectName>.
struct TPersistence {
  bool Enable = false;
  QString Key;
  QString Section;
  TPersistenceLocation Location = plInifile;
};

// The popup: a bordered, topmost window without focus holding the list of matching entries.
class TListHintWindow : public QFrame {
  Q_OBJECT
 public:
  explicit TListHintWindow(TTypedEdit* edit);
  QListWidget* ListControl() const { return list_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QListWidget* list_;
};

}  // namespace controls
