// A window that shows the typed edit at work: one labelled field of every input mode, and fields
// with the prefix and suffix, link, flat, focus-border, empty-text, error-marker and disabled looks.
#pragma once

#include <QWidget>
#include <vector>

namespace controls {

class TTypedEdit;

class TEditDemoForm : public QWidget {
  Q_OBJECT
 public:
  explicit TEditDemoForm(QWidget* parent = nullptr);
  // The fields in the order they stand: the eleven input modes first, then the looks.
  const std::vector<TTypedEdit*>& Fields() const { return fields_; }

 private:
  TTypedEdit* Add(int column, int row, const QString& caption);
  std::vector<TTypedEdit*> fields_;
};

}  // namespace controls
