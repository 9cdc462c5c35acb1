// Banded reports: a page set-up in millimetres and bands of controls (labels, data texts, the
// page number, rules and rectangles) laid out in millimetres with fonts in points. The page
// header band prints on every page, the title band on the first page only, the column header
// band on every page, and the detail band once per row of the report's data set, going on to a
// new page when the next row does not fit. Layout() turns a report into pages of placed bands
// with their texts resolved; the same layout is painted on a PDF file, a printer or the
// preview window, and tests read it to check the geometry.
#pragma once

#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class QPrinter;

namespace dataset {
class DataSet;
}

namespace platform::report {

enum class BandType { PageHeader, Title, ColumnHeader, Detail };
enum class Alignment { Left, Centre };
enum class ShapeType { HorzLine, VertLine, Rectangle };

struct RptFont {
  double points = 10;
  bool bold = false;
};

// The family every report text is set in: Arial where it is installed, else Liberation Sans,
// which has Arial's metrics.
QString ReportFontFamily();
// The height in millimetres of one line of text in a font of `points`.
double LineHeight(double points);

// A control of a band; its rectangle is in millimetres from the band's top left corner.
class TRptControl {
 public:
  TRptControl(QString name, double left, double top, double width, double height)
      : Name(std::move(name)), Left(left), Top(top), Width(width), Height(height) {}
  virtual ~TRptControl() = default;
  QRectF Rect() const { return {Left, Top, Width, Height}; }

  QString Name;
  double Left, Top, Width, Height;
};

// A line of text drawn in its rectangle: cut off at the rectangle's right edge, never wrapped,
// never making its band taller.
class TRptText : public TRptControl {
 public:
  TRptText(QString name, double left, double top, double width, RptFont font, Alignment align = Alignment::Left)
      : TRptControl(std::move(name), left, top, width, LineHeight(font.points)), Font(font), Align(align) {}
  RptFont Font;
  Alignment Align;
};

// A fixed text.
class TRptLabel : public TRptText {
 public:
  using TRptText::TRptText;
  QString Caption;
};

// The text of one field of the data set's current row; empty while unbound.
class TRptDBText : public TRptText {
 public:
  using TRptText::TRptText;
  dataset::DataSet* DataSet = nullptr;
  std::string DataField;
};

// The number of the page it is printed on.
class TRptSysData : public TRptText {
 public:
  using TRptText::TRptText;
};

// A horizontal rule (drawn along its top edge), a vertical rule (along its left edge) or a
// rectangle.
class TRptShape : public TRptControl {
 public:
  TRptShape(QString name, ShapeType shape, double left, double top, double width, double height)
      : TRptControl(std::move(name), left, top, width, height), Shape(shape) {}
  ShapeType Shape;
};

class TRptBand {
 public:
  TRptBand(QString name, BandType type, double height, bool frame)
      : Name(std::move(name)), Type(type), Height(height), Frame(frame) {}

  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto control = std::make_unique<T>(std::forward<Args>(args)...);
    T& added = *control;
    Controls.push_back(std::move(control));
    return added;
  }

  QString Name;
  BandType Type;
  double Height;
  bool Frame;  // a rectangle round the whole band
  // A detail band: after this many rows on one page the next row starts a new page (0: as
  // many rows as fit).
  int RowsPerPage = 0;
  std::vector<std::unique_ptr<TRptControl>> Controls;
};

// What a laid-out report holds, in millimetres.
struct PlacedItem {
  QString name;
  enum Kind { Text, HorzLine, VertLine, Rectangle } kind = Text;
  QRectF rect;  // from the band's top left corner
  QString text;
  RptFont font;
  Alignment align = Alignment::Left;
};

struct PlacedBand {
  QString name;
  BandType type = BandType::Detail;
  QRectF rect;  // from the printable area's top left corner
  bool frame = false;
  int row = -1;  // the data set row of a detail band (0-based)
  std::vector<PlacedItem> items;
  const PlacedItem* Item(const QString& name) const;
};

struct LaidOutPage {
  std::vector<PlacedBand> bands;
  const PlacedBand* Band(const QString& name) const;
};

struct ReportLayout {
  QSizeF paper;
  QMarginsF margins;
  std::vector<LaidOutPage> pages;
};

class TBandedReport {
 public:
  TBandedReport() = default;
  virtual ~TBandedReport() = default;
  TBandedReport(const TBandedReport&) = delete;
  TBandedReport& operator=(const TBandedReport&) = delete;

  TRptBand& AddBand(const QString& name, BandType type, double height, bool frame = false);
  TRptBand* Band(const QString& name) const;
  TRptControl* Control(const QString& name) const;
  template <typename T>
  T* ControlAs(const QString& name) const {
    return dynamic_cast<T*>(Control(name));
  }
  TRptLabel* Label(const QString& name) const { return ControlAs<TRptLabel>(name); }
  TRptDBText* DBText(const QString& name) const { return ControlAs<TRptDBText>(name); }
  // Take a band or a control out of the report (and free it); false when there is none of
  // that name.
  bool RemoveBand(const QString& name);
  bool RemoveControl(const QString& name);

  QRectF PrintableArea() const;  // on the paper, in millimetres
  // Lays the report out from the first row of the data set on. An inactive or absent data set
  // gives no detail bands; a report always has at least one page.
  ReportLayout Layout();

  // Paints page `page` (0-based) of `layout` on a painter whose device shows the whole paper
  // from its top left corner.
  static void PaintPage(QPainter& painter, const ReportLayout& layout, int page);
  // Writes the report as a PDF file (replaced whole or left as it was); false with the reason.
  bool SaveToPdf(const QString& path, QString& error);
  // Prints the pages of the printer's page ranges (every page when it names none), of the
  // layout given or of a fresh one.
  bool Print(QPrinter& printer, QString& error);
  bool Print(QPrinter& printer, const ReportLayout& layout, QString& error);
  // Gives a printer this report's paper, full-page painting and job name.
  void SetUpPrinter(QPrinter& printer) const;

  QString ReportTitle = QStringLiteral("Parameter");  // the print job's and PDF's title
  QSizeF PaperSize{210, 297};                          // A4 portrait
  QMarginsF Margins{10, 10, 10, 10};
  RptFont Font{10, false};                             // the report's own font
  dataset::DataSet* DataSet = nullptr;                 // one detail band per row

 private:
  std::vector<std::unique_ptr<TRptBand>> bands_;
};

}  // namespace platform::report
