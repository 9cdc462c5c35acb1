#include "platform/report/banded_report.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <algorithm>
#include <exception>

#include "platform/dataset/dataset.h"

namespace platform::report {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kMmPerPoint = kMmPerInch / 72.0;
constexpr double kRuleWidth = 0.25;  // mm
// A band that ends within this of the printable area's bottom still fits (rounding of mm sums).
constexpr double kFitSlack = 1e-6;

QString TextOf(const TRptControl& control, int page) {
  if (auto* label = dynamic_cast<const TRptLabel*>(&control)) return label->Caption;
  if (dynamic_cast<const TRptSysData*>(&control)) return QString::number(page + 1);
  if (auto* data = dynamic_cast<const TRptDBText*>(&control)) {
    if (!data->DataSet || !data->DataSet->Active() || data->DataSet->IsEmpty()) return QString();
    dataset::Field* field = data->DataSet->FindField(data->DataField);
    return field ? QString::fromUtf8(field->AsString()) : QString();
  }
  return QString();
}

PlacedBand Place(const TRptBand& band, double top, double width, int page, int row) {
  PlacedBand placed;
  placed.name = band.Name;
  placed.type = band.Type;
  placed.rect = QRectF(0, top, width, band.Height);
  placed.frame = band.Frame;
  placed.row = row;
  for (const auto& control : band.Controls) {
    PlacedItem item;
    item.name = control->Name;
    item.rect = control->Rect();
    if (auto* shape = dynamic_cast<const TRptShape*>(control.get())) {
      item.kind = shape->Shape == ShapeType::HorzLine   ? PlacedItem::HorzLine
                  : shape->Shape == ShapeType::VertLine ? PlacedItem::VertLine
                                                        : PlacedItem::Rectangle;
    } else if (auto* text = dynamic_cast<const TRptText*>(control.get())) {
      item.kind = PlacedItem::Text;
      item.text = TextOf(*control, page);
      item.font = text->Font;
      item.align = text->Align;
    }
    placed.items.push_back(std::move(item));
  }
  return placed;
}

}  // namespace

QString ReportFontFamily() {
  static const QString family =
      QFontDatabase::families().contains(QStringLiteral("Arial")) ? QStringLiteral("Arial") : QStringLiteral("Liberation Sans");
  return family;
}

double LineHeight(double points) { return points * kMmPerPoint * 1.15; }

const PlacedItem* PlacedBand::Item(const QString& name) const {
  for (const PlacedItem& item : items)
    if (item.name == name) return &item;
  return nullptr;
}

const PlacedBand* LaidOutPage::Band(const QString& name) const {
  for (const PlacedBand& band : bands)
    if (band.name == name) return &band;
  return nullptr;
}

TRptBand& TBandedReport::AddBand(const QString& name, BandType type, double height, bool frame) {
  bands_.push_back(std::make_unique<TRptBand>(name, type, height, frame));
  return *bands_.back();
}

TRptBand* TBandedReport::Band(const QString& name) const {
  for (const auto& band : bands_)
    if (band->Name == name) return band.get();
  return nullptr;
}

TRptControl* TBandedReport::Control(const QString& name) const {
  for (const auto& band : bands_)
    for (const auto& control : band->Controls)
      if (control->Name == name) return control.get();
  return nullptr;
}

bool TBandedReport::RemoveBand(const QString& name) {
  auto it = std::find_if(bands_.begin(), bands_.end(), [&](const auto& band) { return band->Name == name; });
  if (it == bands_.end()) return false;
  bands_.erase(it);
  return true;
}

bool TBandedReport::RemoveControl(const QString& name) {
  for (const auto& band : bands_) {
    auto& controls = band->Controls;
    auto it = std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c->Name == name; });
    if (it != controls.end()) {
      controls.erase(it);
      return true;
    }
  }
  return false;
}

QRectF TBandedReport::PrintableArea() const {
  return QRectF(QPointF(Margins.left(), Margins.top()),
                QSizeF(PaperSize.width() - Margins.left() - Margins.right(),
                       PaperSize.height() - Margins.top() - Margins.bottom()));
}

ReportLayout TBandedReport::Layout() {
  ReportLayout layout;
  layout.paper = PaperSize;
  layout.margins = Margins;
  const QRectF area = PrintableArea();
  double y = 0;
  int pageRows = 0;

  auto bandsOf = [&](BandType type) {
    std::vector<const TRptBand*> found;
    for (const auto& band : bands_)
      if (band->Type == type) found.push_back(band.get());
    return found;
  };
  const auto headers = bandsOf(BandType::PageHeader);
  const auto titles = bandsOf(BandType::Title);
  const auto columns = bandsOf(BandType::ColumnHeader);
  const auto details = bandsOf(BandType::Detail);

  auto put = [&](const TRptBand& band, int row) {
    const int page = static_cast<int>(layout.pages.size()) - 1;
    layout.pages.back().bands.push_back(Place(band, y, area.width(), page, row));
    y += band.Height;
  };
  auto startPage = [&] {
    layout.pages.emplace_back();
    y = 0;
    pageRows = 0;
    for (const TRptBand* band : headers) put(*band, -1);
    if (layout.pages.size() == 1)
      for (const TRptBand* band : titles) put(*band, -1);
    for (const TRptBand* band : columns) put(*band, -1);
  };

  startPage();
  if (DataSet && DataSet->Active() && !details.empty()) {
    DataSet->First();
    for (int row = 0; !DataSet->Eof(); ++row, DataSet->Next()) {
      for (const TRptBand* band : details) {
        // A page takes at least one row, so a band taller than the page cannot stall the layout.
        const bool full = band->RowsPerPage > 0 && pageRows >= band->RowsPerPage;
        if (pageRows > 0 && (full || y + band->Height > area.height() + kFitSlack)) startPage();
        put(*band, row);
        ++pageRows;
      }
    }
  }
  return layout;
}

void TBandedReport::PaintPage(QPainter& painter, const ReportLayout& layout, int page) {
  if (page < 0 || page >= static_cast<int>(layout.pages.size())) return;
  QPaintDevice* device = painter.device();
  const double sx = device->logicalDpiX() / kMmPerInch;
  const double sy = device->logicalDpiY() / kMmPerInch;
  auto toDevice = [&](const QRectF& mm) { return QRectF(mm.x() * sx, mm.y() * sy, mm.width() * sx, mm.height() * sy); };

  painter.save();
  QPen pen(Qt::black);
  pen.setWidthF(kRuleWidth * sx);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const QPointF origin(layout.margins.left(), layout.margins.top());
  for (const PlacedBand& band : layout.pages[static_cast<std::size_t>(page)].bands) {
    const QPointF bandOrigin = origin + band.rect.topLeft();
    if (band.frame) painter.drawRect(toDevice(band.rect.translated(origin)));
    for (const PlacedItem& item : band.items) {
      const QRectF r = toDevice(item.rect.translated(bandOrigin));
      switch (item.kind) {
        case PlacedItem::HorzLine:
          painter.drawLine(r.topLeft(), r.topRight());
          break;
        case PlacedItem::VertLine:
          painter.drawLine(r.topLeft(), r.bottomLeft());
          break;
        case PlacedItem::Rectangle:
          painter.drawRect(r);
          break;
        case PlacedItem::Text: {
          if (item.text.isEmpty()) break;
          QFont font(ReportFontFamily());
          font.setPointSizeF(item.font.points);
          font.setBold(item.font.bold);
          painter.setFont(font);
          const QFontMetricsF metrics(font, device);
          const QRectF line(r.left(), r.top(), r.width(), std::max(r.height(), metrics.height()));
          const int align = (item.align == Alignment::Centre ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
          painter.drawText(line, align | Qt::TextSingleLine, item.text);
          break;
        }
      }
    }
  }
  painter.restore();
}

bool TBandedReport::SaveToPdf(const QString& path, QString& error) {
  const ReportLayout layout = Layout();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  {
    QPdfWriter writer(&file);
    writer.setPageLayout(QPageLayout(QPageSize(PaperSize, QPageSize::Millimeter), QPageLayout::Portrait, QMarginsF()));
    writer.setTitle(ReportTitle);
    writer.setResolution(600);
    QPainter painter;
    if (!painter.begin(&writer)) {
      error = QStringLiteral("The PDF could not be started.");
      file.cancelWriting();
      return false;
    }
    for (int page = 0; page < static_cast<int>(layout.pages.size()); ++page) {
      if (page > 0) writer.newPage();
      PaintPage(painter, layout, page);
    }
    painter.end();
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

void TBandedReport::SetUpPrinter(QPrinter& printer) const {
  printer.setFullPage(true);
  printer.setPageLayout(QPageLayout(QPageSize(PaperSize, QPageSize::Millimeter), QPageLayout::Portrait, QMarginsF()));
  printer.setDocName(ReportTitle);
}

bool TBandedReport::Print(QPrinter& printer, QString& error) { return Print(printer, Layout(), error); }

bool TBandedReport::Print(QPrinter& printer, const ReportLayout& layout, QString& error) {
  printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&printer)) {
    error = QStringLiteral("The printer could not be started.");
    return false;
  }
  const QPageRanges ranges = printer.pageRanges();
  bool first = true;
  for (int page = 0; page < static_cast<int>(layout.pages.size()); ++page) {
    if (!ranges.isEmpty() && !ranges.contains(page + 1)) continue;
    if (!first && !printer.newPage()) {
      error = QStringLiteral("The printer did not take the next page.");
      painter.end();
      return false;
    }
    first = false;
    PaintPage(painter, layout, page);
  }
  if (!painter.end()) {
    error = QStringLiteral("The print job could not be finished.");
    return false;
  }
  return true;
}

}  // namespace platform::report
