#include "ui/drive/connect_form.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "core/common.h"
#include "core/modbus.h"
#include "platform/gui/gui_services.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"
#include "ui/drive/user_messages.h"

namespace ui {

namespace {

// Blanks and control characters off both ends.
void TrimControl(std::string& text) {
  auto keep = [](char c) { return static_cast<unsigned char>(c) > ' '; };
  std::size_t b = 0, e = text.size();
  while (b < e && !keep(text[b])) ++b;
  while (e > b && !keep(text[e - 1])) --e;
  text = text.substr(b, e - b);
}

}  // namespace

TConnectForm::TConnectForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ConnectForm");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFixedSize(391, 64);
  auto* bevel = new QFrame(this);
  bevel->setFrameStyle(QFrame::Box | QFrame::Raised);
  bevel->setGeometry(0, 0, 391, 64);
  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(12, 8, 280, 20);
  ProgBar = new QProgressBar(this);
  ProgBar->setObjectName("ProgBar");
  ProgBar->setGeometry(12, 34, 280, 18);
  ProgBar->setRange(0, 0);
  ProgBar->setValue(0);
  Cancel = new QPushButton(this);
  Cancel->setObjectName("Cancel");
  Cancel->setGeometry(302, 18, 78, 27);
  connect(Cancel, &QPushButton::clicked, this, &TConnectForm::CancelClick);
  Cancel->setText(MenuText(L(121)));
}

int TConnectForm::ProbeSingleStation() {
  Cancelled = false;
  ProgBar->setRange(0, Stations.count());
  ProgBar->setValue(0);
  if (Stations.count() != 1) return platform::gui::IdCancel;
  const auto station = static_cast<std::uint8_t>(Stations.lowest());
  ProbeResult = core::ReadDeviceId(station);
  if (ProbeResult == core::kResultOk) ProbeResult = core::SettleLineEcho(station);
  if (ProbeResult != core::kResultOk) return platform::gui::IdNo;
  auto& s = core::State();
  TrimControl(s.DeviceVendor);
  TrimControl(s.DeviceProduct);
  TrimControl(s.DeviceRevision);
  return platform::gui::IdYes;
}

void TConnectForm::CancelClick() { Cancelled = true; }

void TConnectForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QCoreApplication::postEvent(this, new QEvent(WM_STARTSCAN));
}

bool TConnectForm::event(QEvent* event) {
  if (event->type() == WM_STARTSCAN) {
    ScanStations();
    return true;
  }
  return QDialog::event(event);
}

void TConnectForm::ScanStations() {
  for (int station = 1; station <= 254; ++station) {
    if (!Stations.contains(station)) continue;
    Label1->setText(L(80) + QString::asprintf("_%03u ... ... ...", static_cast<unsigned>(station)));
    LetMessagesRun();
    if (Cancelled) break;
    core::TransactionResult result = core::ReadDeviceId(static_cast<std::uint8_t>(station));
    if (result == core::kResultOk) result = core::SettleLineEcho(static_cast<std::uint8_t>(station));
    if (result == core::kResultOk) {
      done(platform::gui::IdYes);
      return;
    }
    // No station can answer through a port that failed; the link command says why.
    if (result == core::kResultPortFailed) break;
    ProgBar->setValue(ProgBar->value() + 1);
    LetMessagesRun();
  }
  done(platform::gui::IdCancel);
}

}  // namespace ui
