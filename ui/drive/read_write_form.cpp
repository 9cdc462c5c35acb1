#include "ui/drive/read_write_form.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "core/common.h"
#include "core/modbus.h"
#include "core/param_access.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/message_loop.h"
#include "ui/common/qt_text.h"
#include "ui/drive/user_messages.h"

namespace ui {

using platform::gui::Gui;

TReadWriteForm::TReadWriteForm(QWidget* parent) : TProgressBox(parent, "ReadWriteForm") {}

void TReadWriteForm::showEvent(QShowEvent* event) {
  SizeToTexts(Selected());
  QDialog::showEvent(event);
  QCoreApplication::postEvent(this, new QEvent(ReadMode ? WM_STARTREAD : WM_STARTWRITE));
}

bool TReadWriteForm::event(QEvent* event) {
  if (event->type() == WM_STARTREAD) {
    ReadLoop();
    return true;
  }
  if (event->type() == WM_STARTWRITE) {
    WriteLoop();
    return true;
  }
  return QDialog::event(event);
}

bool TReadWriteForm::InGroups(int transferGroup) const {
  return transferGroup >= 1 && transferGroup <= 9 && Groups[static_cast<std::size_t>(transferGroup - 1)];
}

std::vector<int> TReadWriteForm::Selected() const {
  const auto& s = core::State();
  std::vector<int> selected;
  if (ReadMode) {
    for (std::size_t i = 0; i < s.ParamDefs.size(); ++i)
      if (s.ParamDefs[i].model == s.LinkedModel && InGroups(s.ParamDefs[i].transferGroup))
        selected.push_back(static_cast<int>(i));
  } else {
    for (std::size_t i = 0; i < s.Document.size(); ++i)
      if (s.Document[i].editable > 0 && InGroups(s.Document[i].transferGroup)) selected.push_back(static_cast<int>(i));
  }
  return selected;
}

void TReadWriteForm::SizeToTexts(const std::vector<int>& selected) {
  const auto& s = core::State();
  const auto& records = ReadMode ? s.ParamDefs : s.Document;
  const QFontMetrics metrics = Label1->fontMetrics();
  int longestCode = 0;
  for (int i : selected)
    longestCode = std::max(longestCode, metrics.horizontalAdvance(Qs(records[static_cast<std::size_t>(i)].code.view())));
  int longestText = 0;
  for (int lang = 1; lang <= 4; ++lang) longestText = std::max(longestText, metrics.horizontalAdvance(LIn(ReadMode ? 92 : 93, lang)));
  const int width = std::max(300, longestText + longestCode + 4 + 24);
  SetBoxWidth(width);
}

void TReadWriteForm::ReadLoop() {
  auto& s = core::State();
  const std::vector<int> selected = Selected();
  ProgBar->setRange(0, static_cast<int>(selected.size()));
  ProgBar->setValue(0);
  s.ReadValues.clear();
  s.ReadValues.reserve(selected.size());
  for (int i : selected) {
    const auto& def = s.ParamDefs[static_cast<std::size_t>(i)];
    Label1->setText(L(92) + Qs(def.code.view()));
    float value = 0;
    if (const core::TransactionResult result = core::ReadParam(Station, i, value); result != core::kResultOk) {
      // A port that failed is reported once, by the main window.
      if (result != core::kResultPortFailed) {
        const QString text = extra::ErrorReadingParameter() + Qs(def.code.view()) + "\n" + extra::TransactionFailure(result, extra::Exchange::Read);
        Gui().MessageBox(text, extra::ReadErrorCaption(), platform::gui::Buttons::Ok, platform::gui::Icon::None);
      }
      done(platform::gui::IdNo);
      return;
    }
    s.ReadValues.push_back(def);
    s.ReadValues.back().value = value;
    ProgBar->setValue(ProgBar->value() + 1);
    LetMessagesRun();
  }
  done(platform::gui::IdYes);
}

void TReadWriteForm::WriteLoop() {
  auto& s = core::State();
  const std::vector<int> selected = Selected();
  ProgBar->setRange(0, static_cast<int>(selected.size()));
  const int last = Stations.highest();
  std::vector<int> stationsDone;
  for (int station = 1; station <= 254; ++station) {
    if (!Stations.contains(station)) continue;
    ProgBar->setValue(0);
    core::TransactionResult result = core::kResultOk;
    int written = 0;
    QString failedCode, readBack;
    bool valueUnknown = false;
    for (int i : selected) {
      const auto& rec = s.Document[static_cast<std::size_t>(i)];
      Label1->setText(L(93) + Qs(rec.code.view()));
      LetMessagesRun();
      failedCode = Qs(rec.code.view());
      const float value = rec.value;
      const int decimals = rec.decimals;
      result = core::WriteParam(station, i, value);
      // The drive may have stored the value although its answer was lost: a read tells.
      if (core::WriteMayHaveBeenDone(result)) {
        const core::ParamReadBack back = core::ReadParamBack(station, i, value);
        if (back.holdsWritten) {
          result = core::kResultOk;
        } else if (back.result == core::kResultPortFailed) {
          result = back.result;
        } else {
          valueUnknown = back.result != core::kResultOk;
          const QString held = valueUnknown ? QString() : FormatNumber(decimals, back.value);
          readBack = extra::WrittenValueReadBack(failedCode, back.result, held, false);
        }
      }
      if (result != core::kResultOk) break;
      ++written;
      ProgBar->setValue(ProgBar->value() + 1);
      LetMessagesRun();
    }
    if (result == core::kResultOk) {
      stationsDone.push_back(station);
      continue;
    }
    FailedResult = result;
    Failure = extra::WriteStopped(failedCode, station, result, written, static_cast<int>(selected.size()), stationsDone,
                                  readBack, valueUnknown);
    // No other station can be written through a port that failed.
    if (station == last || result == core::kResultPortFailed) {
      done(result == core::kResultException + 3 ? platform::gui::IdRetry : platform::gui::IdNo);
      return;
    }
    if (Gui().MessageBox(Failure + "\n\n" + L(94), L(76), platform::gui::Buttons::YesNo, platform::gui::Icon::Warning) !=
        platform::gui::IdYes) {
      done(platform::gui::IdCancel);
      return;
    }
  }
  done(platform::gui::IdYes);
}

}  // namespace ui
