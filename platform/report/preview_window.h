// The report's preview window and its printing through the print dialog. The window opens
// maximised with the pages of the report as laid out when it opened; its tool bar prints
// (through the print dialog), saves the pages as a PDF file, zooms and pages through them.
// Every dialog and message goes through the window services, so tests script them.
#pragma once

#include <QDialog>
#include <QPrinter>
#include <functional>

#include "platform/report/banded_report.h"

class QAction;
class QPrintPreviewWidget;

namespace platform::report {

// The file dialog's filter for the saved PDF files.
inline const QString kPdfFilesFilter = QStringLiteral("PDF Files|*.pdf");

// Asks where to save the PDF; true with the chosen path.
using PdfPathChooser = std::function<bool(QString& path)>;

// The texts of the preview window's tool bar and of its failure messages, in the user's
// language: the program gives its own, English otherwise.
struct PreviewTexts {
  QString print = QStringLiteral("Print...");
  QString saveAsPdf = QStringLiteral("Save as PDF...");
  QString zoomIn = QStringLiteral("Zoom In");
  QString zoomOut = QStringLiteral("Zoom Out");
  QString fitWidth = QStringLiteral("Fit Width");
  QString firstPage = QStringLiteral("First Page");
  QString priorPage = QStringLiteral("Previous Page");
  QString nextPage = QStringLiteral("Next Page");
  QString lastPage = QStringLiteral("Last Page");
  QString close = QStringLiteral("Close");
  QString notPrinted = QStringLiteral("The report could not be printed.");
  QString pdfNotSaved = QStringLiteral("The PDF file could not be saved:");  // followed by the path
};

// Runs the print dialog for the report; prints on OK. False when the user cancelled or the
// printing failed (the failure shown in a message box).
bool PrintWithDialog(TBandedReport& report, QWidget* parent, const PreviewTexts& texts = {});

class TPreviewWindow : public QDialog {
  Q_OBJECT
 public:
  TPreviewWindow(TBandedReport& report, QWidget* parent = nullptr, PdfPathChooser choosePdfPath = {},
                 PreviewTexts texts = {});

  const ReportLayout& Layout() const { return layout_; }
  QPrintPreviewWidget* View() const { return view_; }
  // The tool bar's commands by name: "Print", "SaveAsPdf", "ZoomIn", "ZoomOut", "FitWidth",
  // "FirstPage", "PriorPage", "NextPage", "LastPage", "Close".
  QAction* Command(const QString& name) const;

  bool SaveAsPdf();
  bool PrintPages();

 private:
  void PaintRequested(QPrinter* printer);
  TBandedReport& report_;
  ReportLayout layout_;
  PdfPathChooser choosePdfPath_;
  PreviewTexts texts_;
  QPrinter printer_;
  QPrintPreviewWidget* view_ = nullptr;
};

// Shows the report's preview window modally.
void Preview(TBandedReport& report, QWidget* parent, PdfPathChooser choosePdfPath = {}, PreviewTexts texts = {});

}  // namespace platform::report
