// TTypedEdit: a single-line edit with an input mode that filters every way text gets in.
//
// Public API in brief (namespace controls; link kv_controls_edit):
//   TTypedEdit edit(parent);  edit.SetEditAlign(eaCenter)
//   edit.SetEditType(etNumeric);  edit.SetSigned(true);  edit.SetPrecision(2) (etFloat/etMoney only)
//   edit.SetPrefix("$");  edit.SetSuffix(" kg");  edit.SetLengthLimit(5)
//   edit.SetText("12");  edit.Text()            -- the text proper, without prefix and suffix
//   edit.IntegerValue();  edit.SetIntegerValue(7);  edit.FloatValue();  edit.SetFloatValue(1.5)
//   edit.setEnabled(false)                      -- shows DisabledColor (and disables the label)
//   edit.SetLabelCaption("Speed");  edit.SetLabelPosition(lpLeftCenter)
//   edit.Loaded()                               -- call once the form has set the properties
//   OnValueValidate, OnClipboardCopy/Cut/Paste, OnKeyPress, OnLookupSelect: std::function events
//   edit.Lookup() / edit.Persistence(): lookup list and saved text (both off by default)
//   edit.SetOleDropTarget(true) / SetOleDropSource(true): drag and drop of text (off by default)
// Typed keys, text an input method commits (dead keys, Compose, ibus, CJK input methods), pastes
// from the clipboard or from X11's selection (the middle click) and drops all pass the filter;
// a character outside the basic plane goes in whole or not at all.
// Use SetText, not QLineEdit::setText: only SetText applies the type filter, prefix and suffix.
// The window text (QLineEdit::text()) is always Prefix + text proper + Suffix; caret and
// selection positions are window positions.
#pragma once

#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "controls/edit/edit_lookup.h"

class QLabel;
class QMimeData;

namespace controls {

// Input modes (the order is the stored value).
enum TTypedEditType {
  etString,
  etNumeric,
  etFloat,
  etUppercase,
  etMixedCase,
  etLowerCase,
  etPassword,
  etMoney,
  etRange,
  etHex,
  etAlphaNumeric
};

enum TEditAlign { eaLeft, eaRight, eaDefault, eaCenter };

enum TLabelPosition {
  lpLeftTop,
  lpLeftCenter,
  lpLeftBottom,
  lpTopLeft,
  lpBottomLeft,
  lpLeftTopLeft,
  lpLeftCenterLeft,
  lpLeftBottomLeft,
  lpTopCenter,
  lpBottomCenter
};

class TTypedEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TTypedEdit(QWidget* parent = nullptr);
  ~TTypedEdit() override;

  // Called by a form once its properties are set: takes the normal colours, applies the flat
  // look, places the label and shows the disabled colour where needed.
  virtual void Loaded();

  // --- Text and values -------------------------------------------------------------------
  QString Text() const;
  // A text that does not fit the input mode becomes "0"; an empty text stays empty.
  void SetText(const QString& value);
  std::int32_t IntegerValue() const;
  void SetIntegerValue(std::int32_t value);
  double FloatValue() const;
  void SetFloatValue(double value);

  TTypedEditType EditType() const { return editType_; }
  void SetEditType(TTypedEditType type);
  bool Signed() const { return signed_; }
  void SetSigned(bool on) { signed_ = on; }
  int Precision() const { return precision_; }
  // Taken only in etFloat and etMoney.
  void SetPrecision(int decimals);
  QString Prefix() const { return prefix_; }
  void SetPrefix(const QString& prefix);
  QString Suffix() const { return suffix_; }
  void SetSuffix(const QString& suffix);
  int LengthLimit() const { return lengthLimit_; }
  void SetLengthLimit(int limit) { lengthLimit_ = limit; }
  bool TabOnFullLength() const { return tabOnFullLength_; }
  void SetTabOnFullLength(bool on) { tabOnFullLength_ = on; }
  bool ExcelStyleDecimalSeparator() const { return excelDecimal_; }
  void SetExcelStyleDecimalSeparator(bool on) { excelDecimal_ = on; }
  bool AutoThousandSeparator() const { return autoThousand_; }
  void SetAutoThousandSeparator(bool on);
  bool ReturnIsTab() const { return returnIsTab_; }
  void SetReturnIsTab(bool on) { returnIsTab_ = on; }
  bool CanUndo() const { return canUndo_; }
  void SetCanUndo(bool on);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool on) { autoSelect_ = on; }
  bool AutoFocus() const { return autoFocus_; }
  void SetAutoFocus(bool on) { autoFocus_ = on; }
  TEditAlign EditAlign() const { return editAlign_; }
  void SetEditAlign(TEditAlign align);
  TEditAlign FocusAlign() const { return focusAlign_; }
  void SetFocusAlign(TEditAlign align) { focusAlign_ = align; }

  // --- Colours -----------------------------------------------------------------------------
  QColor Color() const { return shownBackground_; }
  // Shows the colour and makes it the normal background.
  void SetColor(const QColor& colour);
  QColor FocusColor() const { return focusColor_; }
  void SetFocusColor(const QColor& c) { focusColor_ = c; }
  QColor FocusFontColor() const { return focusFontColor_; }
  void SetFocusFontColor(const QColor& c) { focusFontColor_ = c; }
  bool FocusLabel() const { return focusLabel_; }
  void SetFocusLabel(bool on) { focusLabel_ = on; }
  int FocusWidthInc() const { return focusWidthInc_; }
  void SetFocusWidthInc(int pixels) { focusWidthInc_ = pixels; }
  bool FocusBorder() const { return focusBorder_; }
  void SetFocusBorder(bool on);
  bool ShowError() const { return showError_; }
  void SetShowError(bool on) { showError_ = on; }
  QColor ErrorColor() const { return errorColor_; }
  void SetErrorColor(const QColor& c) { errorColor_ = c; }
  QColor ErrorFontColor() const { return errorFontColor_; }
  void SetErrorFontColor(const QColor& c) { errorFontColor_ = c; }
  int ErrorMarkerPos() const { return errorMarkerPos_; }
  void SetErrorMarkerPos(int pos);
  int ErrorMarkerLen() const { return errorMarkerLen_; }
  void SetErrorMarkerLen(int len);
  bool ShowModified() const { return showModified_; }
  void SetShowModified(bool on) { showModified_ = on; }
  QColor ModifiedColor() const { return modifiedColor_; }
  void SetModifiedColor(const QColor& c) { modifiedColor_ = c; }
  QColor DisabledColor() const { return disabledColor_; }
  void SetDisabledColor(const QColor& c);
  // The colours in use now.
  QColor ShownBackground() const { return shownBackground_; }
  QColor ShownTextColor() const { return shownText_; }
  bool InErrorState() const { return error_; }
  bool Hot() const { return hot_; }

  // --- Look: link, hint, flat, transparency, empty text ------------------------------------
  bool ShowURL() const { return showUrl_; }
  void SetShowURL(bool on);
  QColor URLColor() const { return urlColor_; }
  void SetURLColor(const QColor& c) { urlColor_ = c; }
  bool LinkLook() const { return linkLook_; }
  QString EmptyText() const { return emptyText_; }
  void SetEmptyText(const QString& text);
  bool Flat() const { return flat_; }
  void SetFlat(bool on);
  QColor FlatLineColor() const { return flatLineColor_; }
  void SetFlatLineColor(const QColor& c);
  bool FlatParentColor() const { return flatParentColor_; }
  void SetFlatParentColor(bool on) { flatParentColor_ = on; }
  bool SoftBorder() const { return softBorder_; }
  void SetSoftBorder(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);
  bool HintShowLargeText() const { return hintLargeText_; }
  void SetHintShowLargeText(bool on) { hintLargeText_ = on; }

  // --- Attached label -----------------------------------------------------------------------
  QString LabelCaption() const;
  // Creates the label on the parent the first time.
  void SetLabelCaption(const QString& caption);
  TLabelPosition LabelPosition() const { return labelPosition_; }
  void SetLabelPosition(TLabelPosition position);
  int LabelMargin() const { return labelMargin_; }
  void SetLabelMargin(int pixels);
  bool LabelTransparent() const { return labelTransparent_; }
  void SetLabelTransparent(bool on);
  bool LabelAlwaysEnabled() const { return labelAlwaysEnabled_; }
  void SetLabelAlwaysEnabled(bool on);
  QFont LabelFont() const { return labelFont_; }
  void SetLabelFont(const QFont& font);
  QLabel* Label() const { return label_; }

  // --- Events ----------------------------------------------------------------------------
  // Raised on every text change and when the focus leaves; isValid comes preset true.
  std::function<void(TTypedEdit&, const QString& value, bool& isValid)> OnValueValidate;
  // Raised before a copy, cut or paste with the selected text proper; allow comes preset true.
  std::function<void(TTypedEdit&, const QString& value, bool& allow)> OnClipboardCopy;
  std::function<void(TTypedEdit&, const QString& value, bool& allow)> OnClipboardCut;
  std::function<void(TTypedEdit&, const QString& value, bool& allow)> OnClipboardPaste;
  // Raised for every character that reaches the text, and for Enter.
  std::function<void(TTypedEdit&, const QString& key)> OnKeyPress;  // one whole character

  // True unless OnValueValidate says otherwise (a call from inside the event answers true).
  virtual bool ValidateValue(const QString& value);

  // Clipboard operations with the control's rules (the shortcuts and the context menu use them).
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  // Undoes the last standard edit when the result still fits the input mode.
  void UndoEdit();
  void RedoEdit();

  // Window text positions of the text proper.
  int ProperStart() const { return static_cast<int>(prefix_.size()); }
  int ProperEnd() const;

  void setVisible(bool visible) override;

  // --- Lookup list and persistence ---------------------------------------------------------
  TLookupSettings& Lookup() { return *lookup_; }
  TPersistence& Persistence() { return *persistence_; }
  TListHintWindow* LookupPopup() const { return popup_; }
  // Raised when a lookup entry is chosen; the handler may change the value.
  std::function<void(TTypedEdit&, QString& value)> OnLookupSelect;
  // Fills, places and shows or hides the popup for the current text.
  void UpdateLookup();
  // Takes the popup's current entry into the field.
  void SelectLookup();
  // Restores the text saved under the edit's objectName (Loaded calls it); saving happens when
  // the edit is destroyed. Both only with Persistence().Enable.
  virtual void LoadPersistence();
  virtual void SavePersistence();

  // --- Drag and drop -------------------------------------------------------------------------
  bool OleDropTarget() const { return oleDropTarget_; }
  // Accept text dropped onto the field (through the same filter as a paste).
  void SetOleDropTarget(bool on);
  bool OleDropSource() const { return oleDropSource_; }
  // Let the selected text be dragged out (a move deletes it unless read-only).
  void SetOleDropSource(bool on) { oleDropSource_ = on; }
  // Runs one drag of the text and returns the action the target took (IgnoreAction when
  // cancelled or refused).
  Qt::DropAction StartTextDrag(const QString& text, Qt::DropActions allowed);
  // Tests replace the drag loop (QDrag::exec) with a function that delivers the drop itself.
  using DragRunner = std::function<Qt::DropAction(TTypedEdit& source, QMimeData& data, Qt::DropActions allowed)>;
  static void SetDragRunner(DragRunner runner);
  // The window position the drop caret stands at, -1 when none.
  int DropCaret() const { return dropCaret_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool event(QEvent* event) override;

  // Puts Prefix + text + Suffix into the window with the caret (and selection) given in
  // positions of the text proper.
  void WriteProper(const QString& text, int caret, int selectionLength = 0);
  // The selection as positions of the text proper, clamped to it.
  void ProperSelection(int& start, int& length) const;
  int ProperCaret() const;
  void SetModifiedMark(bool on);
  // Whether a text proper is acceptable to the input mode (used by paste, drops and undo).
  bool Fits(const QString& text) const;
  // The text proper after putting `inserted` in place of [start, start + length), or nothing when
  // the input mode, the sign rule or the length limit refuses it; float and money come reformatted.
  bool FilterInsertion(const QString& base, int start, int length, const QString& inserted, QString& result) const;
  void Regroup();
  // What the Text setter makes of a value: a misfit becomes "0", float and money get their
  // decimals, hex is upper case.
  QString SetterForm(const QString& value) const;
  void ApplyColours(const QColor& background, const QColor& text);
  void PlaceLabel();
  void UpdateLinkLook();

 private:
  void OnTextChanged();
  bool KeyDown(QKeyEvent* event);
  // One whole character typed, or committed by an input method (no key event then).
  void CharFilter(const QString& whole, QKeyEvent* event);
  // A paste from the clipboard or from the selection (X11's middle click).
  void PasteText(QClipboard::Mode mode);
  void PassToStandard(QKeyEvent* event);
  void InsertTyped(const QString& text);
  void ToggleSign(bool markAlways);
  void ApplyFlat();
  bool WindowSound() const;
  void AfterPaste();
  void HideLookupOnFocusLoss();
  int CharX(int windowPosition) const;
  void KeepCaretInText();
  bool ArmDrag(QMouseEvent* event);
  bool DisarmDrag(QMouseEvent* event);
  bool LookupKey(QKeyEvent* event);
  // Where a drop at `point` would leave the text proper, or false when it inserts nothing.
  bool PlanDrop(const QMimeData& data, QPoint point, bool copy, QString& result, int& caret, bool& selfMove) const;

  TTypedEditType editType_ = etString;
  TEditAlign editAlign_ = eaLeft;
  TEditAlign focusAlign_ = eaDefault;
  bool signed_ = false;
  int precision_ = 0;
  QString prefix_, suffix_;
  int lengthLimit_ = 0;
  bool tabOnFullLength_ = false;
  bool excelDecimal_ = false;
  bool autoThousand_ = true;
  bool returnIsTab_ = false;
  bool canUndo_ = true;
  bool autoSelect_ = true;
  bool autoFocus_ = false;

  QColor focusColor_, focusFontColor_;
  bool focusLabel_ = false;
  int focusWidthInc_ = 0;
  bool focusBorder_ = false;
  bool showError_ = false;
  QColor errorColor_{Qt::red}, errorFontColor_{Qt::white};
  int errorMarkerPos_ = 0, errorMarkerLen_ = 0;
  bool showModified_ = false;
  QColor modifiedColor_;
  QColor disabledColor_{192, 192, 192};
  bool showUrl_ = false;
  QColor urlColor_{Qt::blue};
  QString emptyText_;
  bool flat_ = false;
  QColor flatLineColor_{Qt::black};
  bool flatParentColor_ = true;
  bool softBorder_ = false;
  bool transparent_ = false;
  bool hintLargeText_ = false;

  QPointer<QLabel> label_;
  QString labelCaption_;
  TLabelPosition labelPosition_ = lpLeftTop;
  int labelMargin_ = 4;
  bool labelTransparent_ = false;
  bool labelAlwaysEnabled_ = false;
  QFont labelFont_;

  // State.
  QColor normalBackground_, normalText_;
  QColor shownBackground_, shownText_;
  QString focusText_;  // the text proper when the focus came, for Escape
  bool error_ = false;
  bool linkLook_ = false;
  bool hot_ = false;
  // The focus came with the mouse press now being delivered (Qt focuses before the press
  // reaches the control): that press found the field unfocused.
  bool focusByPress_ = false;
  // An input method's composition is shown; the selection (window start, length) it stands
  // in is kept aside until the composition ends.
  bool preeditStarted_ = false;
  std::pair<int, int> preeditSelection_{0, 0};
  bool autoFocusing_ = false;  // the focus given on entering with AutoFocus is no press's
  bool loading_ = true;
  bool validating_ = false;
  bool alignSwitched_ = false;
  TEditAlign savedAlign_ = eaLeft;
  bool frameBeforeFlat_ = true;

  std::unique_ptr<TLookupSettings> lookup_;
  std::unique_ptr<TPersistence> persistence_;
  TListHintWindow* popup_ = nullptr;  // a child window of the edit

  bool oleDropTarget_ = false, oleDropSource_ = false;
  bool dragArmed_ = false, draggingOut_ = false, droppedOnSelf_ = false, dropAcceptable_ = false;
  int dropCaret_ = -1;
};

}  // namespace controls
