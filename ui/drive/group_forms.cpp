#include "ui/drive/group_forms.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

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
  GroupBox2->setGeometry(8, 8, width - 16, 169 - shrink_);
  OK->setGeometry(width / 2 - 88, 184 - shrink_, 80, 25);
  Cancel->setGeometry(width / 2 + 8, 184 - shrink_, 80, 25);
  setFixedSize(width, height - shrink_);

  setWindowTitle(L(captionId));
  GroupBox2->setTitle(MenuText(L(182)));
  OK->setText(MenuText(L(120)));
  Cancel->setText(MenuText(L(121)));
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
