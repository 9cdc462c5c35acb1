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

bool PrintWithDialog(TBandedReport& report, QWidget* parent) {
  QPrinter printer(QPrinter::HighResolution);
  report.SetUpPrinter(printer);
  const ReportLayout layout = report.Layout();
  QPrintDialog dialog(&printer, parent);
  dialog.setWindowTitle(report.ReportTitle);
  dialog.setMinMax(1, static_cast<int>(layout.pages.size()));
  if (gui::Gui().ExecDialog(dialog) != gui::IdOk) return false;
  QString error;
  if (!report.Print(printer, layout, error)) {
    ShowFailure(report, QStringLiteral("The report could not be printed."), error);
    return false;
  }
  return true;
}

TPreviewWindow::TPreviewWindow(TBandedReport& report, QWidget* parent, PdfPathChooser choosePdfPath)
    : QDialog(parent), report_(report), layout_(report.Layout()), choosePdfPath_(std::move(choosePdfPath)),
      printer_(QPrinter::HighResolution) {
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
  add("Print", QStringLiteral("Print..."), QKeySequence::Print, [this] { PrintPages(); });
  add("SaveAsPdf", QStringLiteral("Save as PDF..."), QKeySequence::Save, [this] { SaveAsPdf(); });
  bar->addSeparator();
  add("ZoomIn", QStringLiteral("Zoom In"), QKeySequence::ZoomIn, [this] { view_->zoomIn(); });
  add("ZoomOut", QStringLiteral("Zoom Out"), QKeySequence::ZoomOut, [this] { view_->zoomOut(); });
  add("FitWidth", QStringLiteral("Fit Width"), QKeySequence(), [this] { view_->fitToWidth(); });
  bar->addSeparator();
  add("FirstPage", QStringLiteral("First Page"), QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { view_->setCurrentPage(1); });
  add("PriorPage", QStringLiteral("Previous Page"), QKeySequence(Qt::Key_PageUp),
      [this] { view_->setCurrentPage(view_->currentPage() - 1); });
  add("NextPage", QStringLiteral("Next Page"), QKeySequence(Qt::Key_PageDown),
      [this] { view_->setCurrentPage(view_->currentPage() + 1); });
  add("LastPage", QStringLiteral("Last Page"), QKeySequence(Qt::CTRL | Qt::Key_End),
      [this] { view_->setCurrentPage(view_->pageCount()); });
  bar->addSeparator();
  add("Close", QStringLiteral("Close"), QKeySequence(), [this] { reject(); });

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
    ShowFailure(report_, QStringLiteral("The PDF file could not be saved:\n") + path, error);
    return false;
  }
  return true;
}

bool TPreviewWindow::PrintPages() { return PrintWithDialog(report_, this); }

void Preview(TBandedReport& report, QWidget* parent, PdfPathChooser choosePdfPath) {
  TPreviewWindow window(report, parent, std::move(choosePdfPath));
  gui::Gui().ExecDialog(window);
}

}  // namespace platform::report
