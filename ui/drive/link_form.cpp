#include "ui/drive/link_form.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/qt_text.h"

namespace ui {

TLinkForm::TLinkForm(QWidget* parent) : QDialog(parent) {
  setObjectName("LinkForm");
  setFixedSize(338, 252);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(8, 8, 129, 57);
  Label2 = new QLabel(extra::ComLabel(), GroupBox1);
  Label2->setGeometry(12, 24, 33, 21);
  comboPort = new QComboBox(GroupBox1);
  comboPort->setObjectName("comboPort");
  comboPort->setGeometry(48, 22, 69, 23);
  for (int port = 1; port <= 16; ++port) comboPort->addItem(QString::number(port));

  GroupBox2 = new QGroupBox(this);
  GroupBox2->setGeometry(8, 72, 129, 137);
  for (std::size_t i = 0; i < RadioBaud.size(); ++i) {
    RadioBaud[i] = new QRadioButton(QString::number(kBaudRates[i]), GroupBox2);
    RadioBaud[i]->setObjectName(QString("RadioBaud%1").arg(kBaudRates[i]));
    RadioBaud[i]->setGeometry(16, 20 + 22 * static_cast<int>(i), 100, 20);
  }

  GroupBox7 = new QGroupBox(this);
  GroupBox7->setGeometry(144, 8, 186, 57);
  editStation = new QLineEdit("254", GroupBox7);
  editStation->setObjectName("editStation");
  editStation->setMaxLength(30);
  editStation->setGeometry(12, 22, 162, 23);

  Link = new QPushButton(this);
  Link->setObjectName("Link");
  Link->setGeometry(248, 120, 82, 27);
  Link->setDefault(true);
  Unlink = new QPushButton(this);
  Unlink->setObjectName("Unlink");
  Unlink->setGeometry(248, 152, 82, 27);
  Close = new QPushButton(this);
  Close->setObjectName("Close");
  Close->setGeometry(248, 184, 82, 27);
  connect(Link, &QPushButton::clicked, this, &TLinkForm::LinkClick);
  connect(Unlink, &QPushButton::clicked, this, [this] { done(platform::gui::IdAbort); });
  connect(Close, &QPushButton::clicked, this, [this] { done(platform::gui::IdCancel); });

  // The dialog starts with an empty station set and its texts in the current language.
  Stations.clear();
  setWindowTitle(L(141));
  GroupBox1->setTitle(MenuText(L(142)));
  GroupBox2->setTitle(MenuText(L(143)));
  GroupBox7->setTitle(MenuText(L(149)));
  Link->setText(MenuText(L(153)));
  Unlink->setText(MenuText(L(154)));
  Close->setText(MenuText(L(155)));

  // Group boxes and buttons grow from their layout sizes to their texts.
  auto titleRoom = [](QGroupBox* box) { return box->fontMetrics().horizontalAdvance(ShownText(box->title())) + 16; };
  const int left = std::max({129, titleRoom(GroupBox1), titleRoom(GroupBox2)});
  const int station = std::max(186, titleRoom(GroupBox7));
  const int button = std::max({82, Link->sizeHint().width(), Unlink->sizeHint().width(), Close->sizeHint().width()});
  const int right = std::max(8 + left + 7 + station, 8 + left + 16 + button);
  GroupBox1->resize(left, 57);
  GroupBox2->resize(left, 137);
  GroupBox7->setGeometry(8 + left + 7, 8, right - (8 + left + 7), 57);
  editStation->resize(GroupBox7->width() - 24, 23);
  for (QPushButton* b : {Link, Unlink, Close}) b->setGeometry(right - button, b->y(), button, 27);
  setFixedSize(right + 8, 252);
}

bool TLinkForm::SetBaud(int baud) {
  for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
    if (kBaudRates[i] == baud) {
      RadioBaud[i]->setChecked(true);
      return true;
    }
  }
  return false;
}

int TLinkForm::Baud() const {
  for (std::size_t i = 0; i < kBaudRates.size(); ++i)
    if (RadioBaud[i]->isChecked()) return kBaudRates[i];
  return 0;
}

void TLinkForm::LinkClick() {
  Stations = core::ParseStationList(Ss(editStation->text()));
  // An unusable text keeps the dialog open without a word.
  if (!Stations.empty()) done(platform::gui::IdOk);
}

}  // namespace ui
