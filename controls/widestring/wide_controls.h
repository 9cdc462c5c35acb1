// Controls on a form stream: a widget and its named child widgets stored with their wide
// caption and wide hint ("Caption" and "Hint", wide-string properties that the wide property
// filers store as "CaptionW"/"Caption_UTF7" and "HintW"/"Hint_UTF7").
//
// The caption is a button's, label's, line edit's or group box's text, else the window title;
// the hint is the whole wide hint, "short|long" (WideControlHint: the tool tip and the status
// tip). Only widgets with an object name are stored; reading finds them
// among the children of the same name and class. The wide property filers must be installed
// (InstallWidePropertyFilers, done by StartWideStringSupport).
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/form_stream.h"

namespace widestring {

class TWideControlForm : public platform::FormPersistent {
 public:
  explicit TWideControlForm(QWidget* widget) : widget_(widget) {}

  std::string FormClassName() const override;
  std::string FormObjectName() const override;
  void GetPublishedProperties(std::vector<platform::PublishedProperty>& list) override;
  std::vector<platform::FormPersistent*> FormChildren() override;

  // The wide caption of a widget, as stored.
  static QString Caption(const QWidget* widget);
  static void SetCaption(QWidget* widget, const QString& caption);

 private:
  QPointer<QWidget> widget_;
  std::vector<std::unique_ptr<TWideControlForm>> children_;
};

}  // namespace widestring
