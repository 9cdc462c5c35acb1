// Controls on a form stream.
#include "controls/widestring/wide_controls.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "controls/widestring/wide_menus.h"

namespace widestring {

using platform::PropertyKind;
using platform::PropertyValue;

namespace {

std::u16string ToWide(const QString& text) { return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())); }
QString FromWide(const std::u16string& text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

QString TWideControlForm::Caption(const QWidget* widget) {
  if (auto* b = qobject_cast<const QAbstractButton*>(widget)) return b->text();
  if (auto* l = qobject_cast<const QLabel*>(widget)) return l->text();
  if (auto* e = qobject_cast<const QLineEdit*>(widget)) return e->text();
  if (auto* g = qobject_cast<const QGroupBox*>(widget)) return g->title();
  return widget->windowTitle();
}

void TWideControlForm::SetCaption(QWidget* widget, const QString& caption) {
  if (auto* b = qobject_cast<QAbstractButton*>(widget))
    b->setText(caption);
  else if (auto* l = qobject_cast<QLabel*>(widget))
    l->setText(caption);
  else if (auto* e = qobject_cast<QLineEdit*>(widget))
    e->setText(caption);
  else if (auto* g = qobject_cast<QGroupBox*>(widget))
    g->setTitle(caption);
  else
    widget->setWindowTitle(caption);
}

std::string TWideControlForm::FormClassName() const { return widget_ ? widget_->metaObject()->className() : std::string(); }

std::string TWideControlForm::FormObjectName() const { return widget_ ? widget_->objectName().toStdString() : std::string(); }

void TWideControlForm::GetPublishedProperties(std::vector<platform::PublishedProperty>& list) {
  if (!widget_) return;
  QPointer<QWidget> w = widget_;
  list.push_back({"Caption", PropertyKind::WideString, [w] { return PropertyValue(w ? ToWide(Caption(w)) : std::u16string()); },
                  [w](const PropertyValue& v) {
                    if (w) SetCaption(w, FromWide(std::get<std::u16string>(v)));
                  },
                  std::u16string()});
  list.push_back({"Hint", PropertyKind::WideString, [w] { return PropertyValue(w ? ToWide(WideControlHint(w)) : std::u16string()); },
                  [w](const PropertyValue& v) {
                    if (w) SetWideControlHint(w, FromWide(std::get<std::u16string>(v)));
                  },
                  std::u16string()});
}

std::vector<platform::FormPersistent*> TWideControlForm::FormChildren() {
  // The adapters live as long as this one: a reader keeps the children it was given.
  std::vector<platform::FormPersistent*> out;
  if (!widget_) return out;
  for (QWidget* child : widget_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->objectName().isEmpty()) continue;
    TWideControlForm* adapter = nullptr;
    for (const auto& c : children_)
      if (c->widget_ == child) adapter = c.get();
    if (!adapter) {
      children_.push_back(std::make_unique<TWideControlForm>(child));
      adapter = children_.back().get();
    }
    out.push_back(adapter);
  }
  return out;
}

}  // namespace widestring
