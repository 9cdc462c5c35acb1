#include "ui/main/export_command.h"

#include <QFileInfo>

#include "core/texts.h"
#include "platform/gui/gui_services.h"
#include "ui/common/extra_texts.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/qt_text.h"
#include "ui/main/main_form.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace ui {

namespace {

std::u16string Wide(const QString& text) { return text.toStdU16String(); }

}  // namespace

std::int32_t ExportWorkbook(const std::u16string& fileName, std::string& error) {
  const auto& document = core::State().Document;
  const int n = static_cast<int>(document.size());
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
  sheet->GetRange(u"A1", u"B" + xls::Utf8ToWide(std::to_string(n + 1)))
      ->SetHorizontalAlignment(xls::kHAlignCenter);
  xls::IXLSRange cells = sheet->GetCells();
  for (int column = 1; column <= 2; ++column) {
    xls::IXLSRange header = cells->GetItem(1, column);
    header->SetValue(xls::Variant(Wide(L(column == 1 ? 221 : 222))));
    header->GetFont()->SetBold(true);
  }
  for (int r = 1; r <= n; ++r) {
    const core::ParameterDefinition& record = document[static_cast<std::size_t>(r - 1)];
    cells->GetItem(r + 1, 1)->SetValue(xls::Variant(Wide(Qs(record.code.str()))));
    if (!core::IsAbsent(record.value))
      cells->GetItem(r + 1, 2)->SetValue(xls::Variant(Wide(Qs(core::FormatValue(record.decimals, record.value)))));
  }
  const std::int32_t result = xls::SaveWorkbookAs(*book, fileName, book->GetDefaultSaveFormat(), &error);
  book->Close();
  return result;
}

void TMainForm::FileExportClick() {
  if (ChildKind() != "ParamForm") return;
  platform::gui::FileDialogSpec spec;
  spec.save = true;
  spec.filter = extra::ExcelFilesFilter();
  spec.defaultSuffix = "xls";
  QString path;
  if (!RunFileDialog(spec, path)) return;
  if (QFileInfo(path).suffix().isEmpty()) path += "." + spec.defaultSuffix;
  std::string error;
  if (ExportWorkbook(Wide(QFileInfo(path).absoluteFilePath()), error) != 1)
    platform::gui::Gui().MessageBox(Qs(error), L(73), platform::gui::Buttons::Ok, platform::gui::Icon::Stop);
}

}  // namespace ui
