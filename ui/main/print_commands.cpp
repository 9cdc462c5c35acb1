#include "ui/main/print_commands.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>
#include <cmath>

#include "core/common.h"
#include "memtable/mem_table.h"
#include "platform/report/preview_window.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/qt_text.h"
#include "ui/main/main_form.h"
#include "ui/main/report_layouts.h"

namespace ui {

using platform::report::TBandedReport;

namespace {

std::shared_ptr<memtable::TmvxMemTable> MakeTable(const char* name, std::initializer_list<std::pair<const char*, int>> fields) {
  auto table = std::make_shared<memtable::TmvxMemTable>(name);
  for (const auto& [field, size] : fields) table->GetFieldDefs().Add(field, dataset::ftString, size);
  table->Open();
  table->EmptyTable();
  return table;
}

// Sets a field's text, cut to the field's size at a whole character.
void SetText(memtable::TmvxMemTable& table, const char* field, const QString& text) {
  dataset::Field& f = table.FieldByName(field);
  QByteArray bytes = text.toUtf8();
  if (f.Size() > 0 && bytes.size() > f.Size()) {
    qsizetype n = f.Size();
    while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
    bytes.truncate(n);
  }
  f.SetAsString(bytes.toStdString());
}

// Whether the print set prints records of transfer group `group` (groups 1..9 have a flag each;
// records of any other group always print).
bool GroupPrinted(int group) {
  const auto& set = core::State().PrintSet;
  return group < 1 || group > 9 || set[static_cast<std::size_t>(group)];
}

void SetCaption(TBandedReport& report, const char* name, const QString& text) {
  if (auto* label = report.Label(name)) label->Caption = text;
}

void Bind(TBandedReport& report, memtable::TmvxMemTable& table, std::initializer_list<std::pair<const char*, const char*>> binds) {
  report.DataSet = &table;
  for (const auto& [control, field] : binds)
    if (auto* data = report.DBText(control)) {
      data->DataSet = &table;
      data->DataField = field;
    }
}

// The name, the title captions and texts of the list reports, and the title band by flag 1.
void SetListHead(TBandedReport& report) {
  const auto& s = core::State();
  report.ReportTitle = Qs(s.AppTitle);
  SetCaption(report, "RptLabelName", L(68));
  const char* captions[] = {"RptLabelTitle", "RptLabelVersion", "RptLabelCompany", "RptLabelDate",
                            "RptLabelProgrammer", "RptLabelPage", "RptLabelRemark"};
  for (int i = 0; i < 7; ++i) SetCaption(report, captions[i], L(124 + i));
  const char* texts[] = {"RptLTitle", "RptLVersion", "RptLCompany", "RptLDate",
                         "RptLProgrammer", "RptLRemark1", "RptLRemark2", "RptLRemark3"};
  for (int i = 0; i < 8; ++i) SetCaption(report, texts[i], Qs(s.PrintTitles[static_cast<std::size_t>(i)]));
  SetCaption(report, "RptLDescription", L(81));
  SetCaption(report, "RptLCode", L(82));
  SetCaption(report, "RptLUnit", L(83));
  if (!s.PrintSet[0]) report.RemoveBand("TitleBand");
}

std::unique_ptr<TBandedReport> ParameterReport(memtable::TmvxMemTable& table) {
  auto report = std::make_unique<TParRpt>();
  SetListHead(*report);
  SetCaption(*report, "RptLRange", L(84));
  SetCaption(*report, "RptLDefault", L(85));
  SetCaption(*report, "RptLSetting", L(86));
  table.EmptyTable();
  for (const core::ParameterDefinition& r : core::State().Document) {
    if (!GroupPrinted(r.transferGroup)) continue;
    table.Append();
    SetText(table, "Description", Description(r));
    SetText(table, "Code", Qs(r.code.view()));
    SetText(table, "Unit", Qs(r.unit.view()));
    const bool range = !core::IsAbsent(r.minimum) && !core::IsAbsent(r.maximum);
    SetText(table, "Range", range ? FormatNumber(r.decimals, r.minimum) + "~" + FormatNumber(r.decimals, r.maximum) : QString());
    SetText(table, "Default", FormatNumber(r.decimals, r.defaultValue));
    SetText(table, "Setting", FormatNumber(r.decimals, r.value));
    table.Post();
  }
  Bind(*report, table, {{"RptDBDescription", "Description"}, {"RptDBCode", "Code"}, {"RptDBUnit", "Unit"},
                        {"RptDBRange", "Range"}, {"RptDBDefault", "Default"}, {"RptDBSetting", "Setting"}});
  return report;
}

// Comparisons of two values: the value 2 and 3 columns go, their room goes to the others.
void SpreadTwoValueColumns(TBandedReport& report) {
  // Whole tenths of a millimetre, as the layout's positions are given.
  const int tenths = static_cast<int>(std::lround(report.Control("RptShape22")->Left * 10) -
                                      std::lround(report.Control("RptShape19")->Left * 10));
  const double w = (tenths / 5) / 10.0;
  for (const char* name : {"RptLValue2", "RptLValue3", "RptDBValue2", "RptDBValue3", "RptShape11", "RptShape21",
                           "RptShape22", "RptShape23"})
    report.RemoveControl(name);
  for (const char* name : {"RptLDescription", "RptDBDescription", "RptLCode", "RptDBCode", "RptLDefault", "RptDBDefault",
                           "RptLValue1", "RptDBValue1"})
    report.Control(name)->Width += w;
  const std::pair<const char*, int> moves[] = {
      {"RptShape13", 1}, {"RptShape5", 1},  {"RptLCode", 1},    {"RptDBCode", 1},    {"RptShape18", 2}, {"RptShape3", 2},
      {"RptLUnit", 2},   {"RptDBUnit", 2},  {"RptShape10", 3},  {"RptShape2", 3},    {"RptLDefault", 3}, {"RptDBDefault", 3},
      {"RptShape19", 4}, {"RptShape20", 4}, {"RptLValue1", 4},  {"RptDBValue1", 4}};
  for (const auto& [name, times] : moves) report.Control(name)->Left += times * w;
}

std::unique_ptr<TBandedReport> CompareReport(memtable::TmvxMemTable& table) {
  const auto& s = core::State();
  const core::CompareFileHeader& h = s.CmpHeader;
  auto report = std::make_unique<TCompRpt>();
  SetListHead(*report);
  const int kind = h.kind;
  if (kind != 2) SpreadTwoValueColumns(*report);
  if (kind == 0) {
    SetCaption(*report, "RptLDefault", L(85));
    SetCaption(*report, "RptLValue1", L(80) + QString::asprintf("_%03u", static_cast<unsigned>(h.station)));
  } else if (kind == 1) {
    SetCaption(*report, "RptLDefault", ShortName(Qs(h.fileNames[0].view())));
    SetCaption(*report, "RptLValue1", ShortName(Qs(h.fileNames[1].view())));
  } else {
    SetCaption(*report, "RptLDefault", L(85));
    const char* heads[] = {"RptLValue1", "RptLValue2", "RptLValue3"};
    for (int f = 0; f < 3; ++f) {
      QString name = ShortName(Qs(h.fileNames[static_cast<std::size_t>(f)].view()));
      if (f > 0 && name.isEmpty()) name = "------";
      SetCaption(*report, heads[f], name);
    }
  }
  table.EmptyTable();
  for (const core::CompareRecord& r : s.CompareRecords) {
    if (!GroupPrinted(r.transferGroup)) continue;
    table.Append();
    SetText(table, "Description", Description(r));
    SetText(table, "Code", Qs(r.code.view()));
    SetText(table, "Unit", Qs(r.unit.view()));
    if (kind == 1) {
      SetText(table, "Default", FormatNumber(r.decimals, r.values[0]));
      SetText(table, "Value1", FormatNumber(r.decimals, r.values[1]));
    } else {
      SetText(table, "Default", FormatNumber(r.decimals, r.defaultValue));
      SetText(table, "Value1", FormatNumber(r.decimals, r.values[0]));
      if (kind == 2) {
        SetText(table, "Value2", FormatNumber(r.decimals, r.values[1]));
        SetText(table, "Value3", FormatNumber(r.decimals, r.values[2]));
      }
    }
    table.Post();
  }
  Bind(*report, table, {{"RptDBDescription", "Description"}, {"RptDBCode", "Code"}, {"RptDBUnit", "Unit"},
                        {"RptDBDefault", "Default"}, {"RptDBValue1", "Value1"}});
  if (kind == 2) Bind(*report, table, {{"RptDBValue2", "Value2"}, {"RptDBValue3", "Value3"}});
  return report;
}

}  // namespace

std::shared_ptr<memtable::TmvxMemTable> MakePrintTable() {
  return MakeTable("printTable", {{"Description", 120}, {"Code", 40}, {"Unit", 40}, {"Range", 80}, {"Default", 40},
                                  {"Setting", 40}, {"Value1", 40}, {"Value2", 40}, {"Value3", 40}});
}

std::shared_ptr<memtable::TmvxMemTable> MakePrint2Table() {
  return MakeTable("print2Table", {{"Code1", 20}, {"Value1", 20}, {"Code2", 20}, {"Value2", 20}, {"Code3", 20}, {"Value3", 20}});
}

std::unique_ptr<TBandedReport> DocumentReport(memtable::TmvxMemTable& printTable) {
  const auto& s = core::State();
  if (s.ParHeader.recordCount > 0) return ParameterReport(printTable);
  if (s.CmpHeader.model > 0 && s.CmpHeader.kind <= 2) return CompareReport(printTable);
  return nullptr;
}

std::unique_ptr<TBandedReport> ThreeAcrossReport(memtable::TmvxMemTable& table) {
  const auto& s = core::State();
  if (s.ParHeader.recordCount == 0) return nullptr;
  auto report = std::make_unique<TExcelRpt>();
  SetCaption(*report, "RptLabelName",
             Qs(s.DocumentName) + " - " + QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
  for (const char* name : {"RptLCode1", "RptLCode2", "RptLCode3"}) SetCaption(*report, name, L(221));
  for (const char* name : {"RptLValue1", "RptLValue2", "RptLValue3"}) SetCaption(*report, name, L(222));

  std::vector<const core::ParameterDefinition*> printed;
  for (const core::ParameterDefinition& r : s.Document)
    if (GroupPrinted(r.transferGroup)) printed.push_back(&r);
  // Each page lists 43 rows of three code/value pairs: its records run down the first pair,
  // then the second, then the third.
  constexpr int kRows = TExcelRpt::kRowsPerPage, kPage = 3 * kRows;
  const int pages = std::max<int>(1, (static_cast<int>(printed.size()) + kPage - 1) / kPage);
  const char* codes[] = {"Code1", "Code2", "Code3"};
  const char* values[] = {"Value1", "Value2", "Value3"};
  table.EmptyTable();
  for (int page = 0; page < pages; ++page)
    for (int r = 0; r < kRows; ++r) {
      table.Append();
      for (int pair = 0; pair < 3; ++pair) {
        const std::size_t k = static_cast<std::size_t>(page * kPage + pair * kRows + r);
        if (k >= printed.size()) continue;
        SetText(table, codes[pair], Qs(printed[k]->code.view()));
        SetText(table, values[pair], FormatNumber(printed[k]->decimals, printed[k]->value));
      }
      table.Post();
    }
  Bind(*report, table, {{"RptDBCode1", "Code1"}, {"RptDBValue1", "Value1"}, {"RptDBCode2", "Code2"},
                        {"RptDBValue2", "Value2"}, {"RptDBCode3", "Code3"}, {"RptDBValue3", "Value3"}});
  return report;
}

namespace {
// The preview window's texts in the current language.
platform::report::PreviewTexts PreviewTextsNow() {
  using extra::PreviewText;
  platform::report::PreviewTexts t;
  t.print = extra::PreviewCommand(PreviewText::Print);
  t.saveAsPdf = extra::PreviewCommand(PreviewText::SaveAsPdf);
  t.zoomIn = extra::PreviewCommand(PreviewText::ZoomIn);
  t.zoomOut = extra::PreviewCommand(PreviewText::ZoomOut);
  t.fitWidth = extra::PreviewCommand(PreviewText::FitWidth);
  t.firstPage = extra::PreviewCommand(PreviewText::FirstPage);
  t.priorPage = extra::PreviewCommand(PreviewText::PriorPage);
  t.nextPage = extra::PreviewCommand(PreviewText::NextPage);
  t.lastPage = extra::PreviewCommand(PreviewText::LastPage);
  t.close = extra::PreviewCommand(PreviewText::Close);
  t.notPrinted = extra::PreviewCommand(PreviewText::NotPrinted);
  t.pdfNotSaved = extra::PreviewCommand(PreviewText::PdfNotSaved);
  return t;
}
}  // namespace

void TMainForm::PrintDocument(bool preview) {
  std::unique_ptr<TBandedReport> report = DocumentReport(*printTable);
  if (!report) return;
  if (preview) {
    platform::report::Preview(*report, this, [](QString& path) {
      platform::gui::FileDialogSpec spec;
      spec.save = true;
      spec.filter = platform::report::kPdfFilesFilter;
      spec.defaultSuffix = QStringLiteral("pdf");
      if (!RunFileDialog(spec, path)) return false;
      if (QFileInfo(path).suffix().isEmpty()) path += ".pdf";
      return true;
    }, PreviewTextsNow());
  } else {
    platform::report::PrintWithDialog(*report, this, PreviewTextsNow());
  }
}

void TMainForm::PrintThreeAcross() {
  std::unique_ptr<TBandedReport> report = ThreeAcrossReport(*print2Table);
  if (report) platform::report::PrintWithDialog(*report, this, PreviewTextsNow());
}

void TMainForm::FilePrintPreviewClick() { PrintDocument(true); }
void TMainForm::FilePrintClick() { PrintDocument(false); }
void TMainForm::Print2ButtonClick() { PrintThreeAcross(); }

}  // namespace ui
