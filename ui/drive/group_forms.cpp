#include "ui/drive/group_forms.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <algorithm>

#include "core/common.h"
#include "platform/gui/gui_services.h"
#include "ui/common/qt_text.h"

namespace ui {

TGroupForm::TGroupForm(QWidget* parent, int width, int height, int captionId) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  GroupBox2 = new QGroupBox(this);
  GroupBox2->setObjectName("GroupBox2");
  for (int k = 0; k < 9; ++k) {
    checkGroup[k] = new QCheckBox(GroupBox2);
    checkGroup[k]->setObjectName(QString("checkGroup%1").arg(k + 1));
    checkGroup[k]->setGeometry(12, 16 * (k + 1) + 4, width - 40, 16);
    checkGroup[k]->hide();
  }
  OK = new QPushButton(this);
  OK->setObjectName("OK");
  OK->setDefault(true);
  Cancel = new QPushButton(this);
  Cancel->setObjectName("Cancel");
  connect(OK, &QPushButton::clicked, this, &TGroupForm::OKClick);
  connect(Cancel, &QPushButton::clicked, this, [this] { done(platform::gui::IdCancel); });

  // Captions: group name in the current language and the group's id.
  const auto& s = core::State();
  const int lang = s.LanguageIndex;
  const core::smod* model =
      s.LinkedModel >= 1 && s.LinkedModel <= s.ModelCount ? &s.Models[static_cast<std::size_t>(s.LinkedModel - 1)] : nullptr;
  for (int k = 0; k < 9; ++k) {
    QString name = model && lang >= 1 && lang <= 4 ? Qs(model->groupNames[k][lang - 1]) : QString();
    QString id = model ? Qs(model->groupIds[k]) : QString();
    checkGroup[k]->setText(MenuText(name + " (" + id + ")"));
  }
  // Offer the transfer groups of the linked model's definitions, each checked.
  int highest = 0;
  for (const auto& d : s.ParamDefs) {
    if (d.model != s.LinkedModel || d.transferGroup < 1 || d.transferGroup > 9) continue;
    checkGroup[d.transferGroup - 1]->show();
    checkGroup[d.transferGroup - 1]->setChecked(true);
    highest = std::max(highest, d.transferGroup);
  }
  shrink_ = highest == 0 ? 144 : 16 * (9 - highest);

  setWindowTitle(L(captionId));
  GroupBox2->setTitle(MenuText(L(182)));
  OK->setText(MenuText(L(120)));
  Cancel->setText(MenuText(L(121)));

  // The layout width, or wider when the group box's title or a check box needs it.
  int w = std::max(width, GroupBox2->fontMetrics().horizontalAdvance(ShownText(GroupBox2->title())) + 32);
  for (QCheckBox* box : checkGroup) w = std::max(w, box->sizeHint().width() + 40);
  const int button = std::max({80, OK->sizeHint().width(), Cancel->sizeHint().width()});
  for (QCheckBox* box : checkGroup) box->resize(w - 40, 16);
  GroupBox2->setGeometry(8, 8, w - 16, 169 - shrink_);
  OK->setGeometry(w / 2 - 8 - button, 184 - shrink_, button, 25);
  Cancel->setGeometry(w / 2 + 8, 184 - shrink_, button, 25);
  setFixedSize(w, height - shrink_);
}

std::array<bool, 9> TGroupForm::Flags() const {
  std::array<bool, 9> flags{};
  for (int k = 0; k < 9; ++k) flags[k] = !checkGroup[k]->isHidden() && checkGroup[k]->isChecked();
  return flags;
}

void TGroupForm::OKClick() {
  for (bool f : Flags())
    if (f) {
      done(platform::gui::IdOk);
      return;
    }
}

TReadForm::TReadForm(QWidget* parent) : TGroupForm(parent, 241, 216, 180) { setObjectName("ReadForm"); }

TWriteForm::TWriteForm(QWidget* parent) : TGroupForm(parent, 298, 217, 183) { setObjectName("WriteForm"); }

}  // namespace ui
