#include "platform/report/preview_window.h"

#include <QAction>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/gui/gui_services.h"

namespace platform::report {

namespace {

void ShowFailure(const TBandedReport& report, const QString& what, const QString& reason) {
  gui::Gui().MessageBox(what + "\n" + reason, report.ReportTitle, gui::Buttons::Ok, gui::Icon::Stop);
}

}  // namespace

bool PrintWithDialog(TBandedReport& report, QWidget* parent, const PreviewTexts& texts) {
  QPrinter printer(QPrinter::HighResolution);
  report.SetUpPrinter(printer);
  const ReportLayout layout = report.Layout();
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle(report.ReportTitle);
  dialog.setMinMax(1, static_cast<int>(layout.pages.size()));
  if (gui::Gui().ExecDialog(dialog) != gui::IdOk) return false;
  QString error;
  if (!report.Print(printer, layout, error)) {
    ShowFailure(report, texts.notPrinted, error);
    return false;
  }
  return true;
}

TPreviewWindow::TPreviewWindow(TBandedReport& report, QWidget* parent, PdfPathChooser choosePdfPath,
                               PreviewTexts texts)
    : QDialog(parent), report_(report), layout_(report.Layout()), choosePdfPath_(std::move(choosePdfPath)),
      texts_(std::move(texts)), printer_(QPrinter::HighResolution) {
  setObjectName("PreviewWindow");
  setWindowTitle(report.ReportTitle);
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  report_.SetUpPrinter(printer_);
  view_ = new QPrintPreviewWidget(&printer_, this);
  connect(view_, &QPrintPreviewWidget::paintRequested, this, &TPreviewWindow::PaintRequested);

  auto* bar = new QToolBar(this);
  auto add = [&](const char* name, const QString& text, const QKeySequence& key, auto slot) {
    QAction* action = bar->addAction(text);
    action->setObjectName(name);
    if (!key.isEmpty()) action->setShortcut(key);
    connect(action, &QAction::triggered, this, slot);
  };
  add("Print", texts_.print, QKeySequence::Print, [this] { PrintPages(); });
  add("SaveAsPdf", texts_.saveAsPdf, QKeySequence::Save, [this] { SaveAsPdf(); });
  bar->addSeparator();
  add("ZoomIn", texts_.zoomIn, QKeySequence::ZoomIn, [this] { view_->zoomIn(); });
  add("ZoomOut", texts_.zoomOut, QKeySequence::ZoomOut, [this] { view_->zoomOut(); });
  add("FitWidth", texts_.fitWidth, QKeySequence(), [this] { view_->fitToWidth(); });
  bar->addSeparator();
  add("FirstPage", texts_.firstPage, QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { view_->setCurrentPage(1); });
  add("PriorPage", texts_.priorPage, QKeySequence(Qt::Key_PageUp),
      [this] { view_->setCurrentPage(view_->currentPage() - 1); });
  add("NextPage", texts_.nextPage, QKeySequence(Qt::Key_PageDown),
      [this] { view_->setCurrentPage(view_->currentPage() + 1); });
  add("LastPage", texts_.lastPage, QKeySequence(Qt::CTRL | Qt::Key_End),
      [this] { view_->setCurrentPage(view_->pageCount()); });
  bar->addSeparator();
  add("Close", texts_.close, QKeySequence(), [this] { reject(); });

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->addWidget(bar);
  box->addWidget(view_, 1);
  // Full size also where no window manager acts on the maximised state.
  if (QScreen* shown = screen()) setGeometry(shown->availableGeometry());
  setWindowState(Qt::WindowMaximized);
  view_->updatePreview();
}

QAction* TPreviewWindow::Command(const QString& name) const { return findChild<QAction*>(name); }

void TPreviewWindow::PaintRequested(QPrinter* printer) {
  QPainter painter(printer);
  for (int page = 0; page < static_cast<int>(layout_.pages.size()); ++page) {
    if (page > 0) printer->newPage();
    TBandedReport::PaintPage(painter, layout_, page);
  }
}

bool TPreviewWindow::SaveAsPdf() {
  QString path;
  if (choosePdfPath_) {
    if (!choosePdfPath_(path)) return false;
  } else {
    gui::FileDialogSpec spec;
    spec.save = true;
    spec.filter = platform::report::kPdfFilesFilter;
    spec.defaultSuffix = QStringLiteral("pdf");
    if (!gui::Gui().FileDialog(spec, path)) return false;
  }
  QString error;
  if (!report_.SaveToPdf(path, error)) {
    ShowFailure(report_, texts_.pdfNotSaved + "\n" + path, error);
    return false;
  }
  return true;
}

bool TPreviewWindow::PrintPages() { return PrintWithDialog(report_, this, texts_); }

void Preview(TBandedReport& report, QWidget* parent, PdfPathChooser choosePdfPath, PreviewTexts texts) {
  TPreviewWindow window(report, parent, std::move(choosePdfPath), std::move(texts));
  gui::Gui().ExecDialog(window);
}

}  // namespace platform::report
