#include "ui/main/report_layouts.h"

#include <vector>

namespace ui {

using namespace platform::report;

namespace {

constexpr double kWidth = 190.0;      // the printable width of A4 with 10 mm margins
constexpr double kGap = 0.4;          // between a text's right end and the rule after it
constexpr double kColumnBand = 5.3;   // column header and detail bands of the lists
constexpr double kTextTop = 0.8;      // a 9-point line in a 5.3 mm band
const RptFont kSmall{9, false};       // 12 pixels
const RptFont kHeading{12, true};     // 16 pixels, bold

// A text that runs from `left` to the rule at `rule`.
double Room(double left, double rule) { return rule - left - kGap; }

void VertRule(TRptBand& band, const char* name, double x, double top, double height) {
  band.Add<TRptShape>(name, ShapeType::VertLine, x, top, 0, height);
}

void HorzRule(TRptBand& band, const char* name, double left, double y, double width) {
  band.Add<TRptShape>(name, ShapeType::HorzLine, left, y, width, 0);
}

// Page header and title band of the parameter and comparison lists.
void AddListHead(TBandedReport& report) {
  TRptBand& header = report.AddBand("PageHeaderBand", BandType::PageHeader, 9.3);
  header.Add<TRptLabel>("RptLabelName", 4.2, 1.5, kWidth - 4.2, kHeading).Caption = "Parameters List";
  HorzRule(header, "RptShape1", 0, 8.0, kWidth);

  TRptBand& title = report.AddBand("TitleBand", BandType::Title, 36.0);
  title.Add<TRptShape>("RptShape4", ShapeType::Rectangle, 0, 0, kWidth, 32.0);
  constexpr double kRow = 5.3;
  HorzRule(title, "RptShape6", 0, kRow, kWidth);
  HorzRule(title, "RptShape7", 0, 2 * kRow, kWidth);
  HorzRule(title, "RptShape8", 0, 3 * kRow, kWidth);
  HorzRule(title, "RptShape9", 21.2, 4 * kRow, kWidth - 21.2);
  HorzRule(title, "RptShape12", 21.2, 5 * kRow, kWidth - 21.2);
  VertRule(title, "RptShape17", 29.6, 0, 3 * kRow);
  VertRule(title, "RptShape15", 141.8, 0, 3 * kRow);
  VertRule(title, "RptShape16", 165.1, 0, 3 * kRow);
  VertRule(title, "RptShape14", 21.2, 3 * kRow, 32.0 - 3 * kRow);

  const RptFont own = report.Font;
  struct Row {
    const char *caption, *text, *caption2, *text2;
    const char *captionDefault, *captionDefault2;
  };
  const Row rows[3] = {
      {"RptLabelTitle", "RptLTitle", "RptLabelVersion", "RptLVersion", "Title", "Version"},
      {"RptLabelCompany", "RptLCompany", "RptLabelDate", "RptLDate", "Company name", "Date"},
      {"RptLabelProgrammer", "RptLProgrammer", "RptLabelPage", nullptr, "Programmer", "Page"},
  };
  for (int i = 0; i < 3; ++i) {
    const double top = 0.5 + i * kRow;
    title.Add<TRptLabel>(rows[i].caption, 2.1, top, Room(2.1, 29.6), kSmall).Caption = rows[i].captionDefault;
    title.Add<TRptLabel>(rows[i].text, 31.8, top, Room(31.8, 141.8), kSmall);
    title.Add<TRptLabel>(rows[i].caption2, 146.1, top, Room(146.1, 165.1), kSmall).Caption = rows[i].captionDefault2;
    if (rows[i].text2)
      title.Add<TRptLabel>(rows[i].text2, 169.3, top, Room(169.3, kWidth), i == 1 ? own : kSmall);
    else
      title.Add<TRptSysData>("RptSysPage", 169.3, top, Room(169.3, kWidth), own);
  }
  title.Add<TRptLabel>("RptLabelRemark", 2.1, 0.5 + 3 * kRow, Room(2.1, 21.2), kSmall).Caption = "Remark";
  const char* remarks[3] = {"RptLRemark1", "RptLRemark2", "RptLRemark3"};
  for (int i = 0; i < 3; ++i) title.Add<TRptLabel>(remarks[i], 25.4, 0.5 + (3 + i) * kRow, Room(25.4, kWidth), kSmall);
}

struct Column {
  double left;
  const char *head, *data, *headRule, *detailRule;
  double rule;  // 0: the last column, running to the band's right edge
};

// The framed column header and detail bands: a header label over a data text per column,
// vertical rules between the columns.
void AddColumns(TBandedReport& report, const std::vector<Column>& columns) {
  TRptBand& header = report.AddBand("ColumnHeaderBand", BandType::ColumnHeader, kColumnBand, true);
  TRptBand& detail = report.AddBand("DetailBand", BandType::Detail, kColumnBand, true);
  for (const Column& c : columns) {
    const double room = Room(c.left, c.rule > 0 ? c.rule : kWidth);
    header.Add<TRptLabel>(c.head, c.left, kTextTop, room, kSmall).Caption = QString(c.head).mid(4);
    detail.Add<TRptDBText>(c.data, c.left, kTextTop, room, kSmall);
    if (c.rule > 0) {
      VertRule(header, c.headRule, c.rule, 0, kColumnBand);
      VertRule(detail, c.detailRule, c.rule, 0, kColumnBand);
    }
  }
}

}  // namespace

TParRpt::TParRpt() {
  AddListHead(*this);
  AddColumns(*this, {
                        {2.1, "RptLDescription", "RptDBDescription", "RptShape13", "RptShape5", 67.7},
                        {70.9, "RptLCode", "RptDBCode", "RptShape18", "RptShape3", 84.7},
                        {87.3, "RptLUnit", "RptDBUnit", "RptShape10", "RptShape2", 99.5},
                        {102.1, "RptLRange", "RptDBRange", "RptShape19", "RptShape20", 129.1},
                        {132.3, "RptLDefault", "RptDBDefault", "RptShape11", "RptShape21", 158.8},
                        {161.9, "RptLSetting", "RptDBSetting", nullptr, nullptr, 0},
                    });
}

TCompRpt::TCompRpt() {
  AddListHead(*this);
  AddColumns(*this, {
                        {2.1, "RptLDescription", "RptDBDescription", "RptShape13", "RptShape5", 59.3},
                        {62.4, "RptLCode", "RptDBCode", "RptShape18", "RptShape3", 78.3},
                        {81.0, "RptLUnit", "RptDBUnit", "RptShape10", "RptShape2", 95.2},
                        {98.4, "RptLDefault", "RptDBDefault", "RptShape19", "RptShape20", 118.5},
                        {121.7, "RptLValue1", "RptDBValue1", "RptShape11", "RptShape23", 141.8},
                        {145.0, "RptLValue2", "RptDBValue2", "RptShape22", "RptShape21", 165.1},
                        {168.3, "RptLValue3", "RptDBValue3", nullptr, nullptr, 0},
                    });
}

TExcelRpt::TExcelRpt() {
  TRptBand& header = AddBand("PageHeaderBand", BandType::PageHeader, 10.3);
  header.Add<TRptLabel>("RptLabelName", 0, 1.5, kWidth, RptFont{14, true}, Alignment::Centre).Caption = "Parameters List";
  HorzRule(header, "RptShape1", 0, 9.3, kWidth);

  constexpr double kBand = 5.7, kBox = 27.7, kText = 24.0;
  const RptFont text{11, false}, bold{11, true};
  const double top = (kBand - LineHeight(11)) / 2;
  TRptBand& heads = AddBand("ColumnHeaderBand", BandType::ColumnHeader, kBand);
  TRptBand& detail = AddBand("DetailBand", BandType::Detail, kBand);
  detail.RowsPerPage = kRowsPerPage;
  struct Box {
    double left;
    const char *head, *data, *headBox, *detailBox, *caption;
  };
  const Box boxes[6] = {
      {1.8, "RptLCode1", "RptDBCode1", "RptShape6", "RptShape5", "Code1"},
      {29.3, "RptLValue1", "RptDBValue1", "RptShape7", "RptShape3", "Value1"},
      {67.7, "RptLCode2", "RptDBCode2", "RptShape8", "RptShape2", "Code2"},
      {95.2, "RptLValue2", "RptDBValue2", "RptShape9", "RptShape20", "Value2"},
      {133.6, "RptLCode3", "RptDBCode3", "RptShape12", "RptShape4", "Code3"},
      {161.1, "RptLValue3", "RptDBValue3", "RptShape14", "RptShape21", "Value3"},
  };
  for (const Box& b : boxes) {
    const double left = b.left + (kBox - kText) / 2;
    heads.Add<TRptShape>(b.headBox, ShapeType::Rectangle, b.left, 0, kBox, kBand);
    heads.Add<TRptLabel>(b.head, left, top, kText, bold, Alignment::Centre).Caption = b.caption;
    detail.Add<TRptShape>(b.detailBox, ShapeType::Rectangle, b.left, 0, kBox, kBand);
    detail.Add<TRptDBText>(b.data, left, top, kText, text, Alignment::Centre);
  }
}

}  // namespace ui
