#include "controls/edit/edit_demo_form.h"

#include "controls/edit/typed_edit.h"

namespace controls {

namespace {
constexpr int kColumnLeft[2] = {110, 420};
constexpr int kFieldWidth = 170;
constexpr int kRowTop = 16;
constexpr int kRowStep = 34;
}  // namespace

TTypedEdit* TEditDemoForm::Add(int column, int row, const QString& caption) {
  auto* edit = new TTypedEdit(this);
  edit->setGeometry(kColumnLeft[column], kRowTop + row * kRowStep, kFieldWidth, 24);
  edit->SetLabelPosition(lpLeftCenter);
  edit->SetLabelCaption(caption);
  fields_.push_back(edit);
  return edit;
}

TEditDemoForm::TEditDemoForm(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Typed edit fields"));
  struct Mode {
    TTypedEditType type;
    const char* caption;
    const char* text;
  };
  const Mode modes[] = {
      {etString, "Text", "Any text"},       {etNumeric, "Numeric", "-1250"},   {etFloat, "Float", "3.14"},
      {etUppercase, "Upper case", "KV100"}, {etMixedCase, "Mixed case", "John McDonald"},
      {etLowerCase, "Lower case", "motor"}, {etPassword, "Password", "secret"}, {etMoney, "Money", "1234567.50"},
      {etRange, "Range", "1,3,5-12"},       {etHex, "Hex", "1F40"},            {etAlphaNumeric, "Alphanumeric", "Abc123"},
  };
  int row = 0;
  for (const Mode& m : modes) {
    TTypedEdit* edit = Add(0, row++, QString::fromLatin1(m.caption));
    edit->SetEditType(m.type);
    edit->SetSigned(true);
    if (m.type == etFloat || m.type == etMoney) edit->SetPrecision(2);
    edit->SetText(QString::fromLatin1(m.text));
    edit->Loaded();
  }
  TTypedEdit* units = Add(1, 0, QStringLiteral("Prefix, suffix"));
  units->SetEditType(etNumeric);
  units->SetPrefix(QStringLiteral("Speed "));
  units->SetSuffix(QStringLiteral(" rpm"));
  units->SetText(QStringLiteral("1450"));
  units->SetEditAlign(eaRight);
  TTypedEdit* link = Add(1, 1, QStringLiteral("Link"));
  link->SetShowURL(true);
  link->SetText(QStringLiteral("https://example.org"));
  TTypedEdit* flat = Add(1, 2, QStringLiteral("Flat"));
  flat->SetText(QStringLiteral("bottom line"));
  flat->SetFlatLineColor(QColor(0, 0, 160));
  flat->SetFlat(true);
  TTypedEdit* soft = Add(1, 3, QStringLiteral("Soft border"));
  soft->SetText(QStringLiteral("frame"));
  soft->SetSoftBorder(true);
  soft->SetFlatLineColor(QColor(0, 128, 0));
  soft->SetFlat(true);
  TTypedEdit* focus = Add(1, 4, QStringLiteral("Focus border"));
  focus->SetText(QStringLiteral("hover me"));
  focus->SetFocusBorder(true);
  TTypedEdit* empty = Add(1, 5, QStringLiteral("Empty text"));
  empty->SetEmptyText(QStringLiteral("type a name"));
  TTypedEdit* marker = Add(1, 6, QStringLiteral("Error marker"));
  marker->SetText(QStringLiteral("a mispelled word"));
  marker->SetErrorMarkerPos(2);
  marker->SetErrorMarkerLen(8);
  TTypedEdit* centred = Add(1, 7, QStringLiteral("Centred"));
  centred->SetEditType(etNumeric);
  centred->SetEditAlign(eaCenter);
  centred->SetText(QStringLiteral("0"));
  TTypedEdit* disabled = Add(1, 8, QStringLiteral("Disabled"));
  disabled->SetText(QStringLiteral("switched off"));
  disabled->setEnabled(false);
  for (std::size_t i = 11; i < fields_.size(); ++i) fields_[i]->Loaded();
  resize(kColumnLeft[1] + kFieldWidth + 20, kRowTop + 11 * kRowStep);
}

}  // namespace controls
