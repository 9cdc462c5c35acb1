// The shapes of a sheet drawing: one SpContainer of Escher records (shape record, property
// tables, client anchor) with the BIFF records that belong to it (OBJ, and for shapes with text
// a ClientTextbox, TXO and the text in CONTINUE records). Comment boxes, picture frames and the
// form controls (chart, check box, picture, combo box, list box) are its subclasses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/io/drawing/escher.h"

namespace xls {

class TMsoDrawing;
class TXLSCustomChart;

// Shape types (the Sp record's instance) and OBJ object types.
constexpr std::uint16_t kShapeGroup = 0;
constexpr std::uint16_t kShapePictureFrame = 75;
constexpr std::uint16_t kShapeHostControl = 201;
constexpr std::uint16_t kShapeTextBox = 202;
constexpr std::uint16_t kObjChart = 5;
constexpr std::uint16_t kObjPicture = 8;
constexpr std::uint16_t kObjCheckBox = 11;
constexpr std::uint16_t kObjListBox = 18;
constexpr std::uint16_t kObjComboBox = 20;
constexpr std::uint16_t kObjComment = 25;

class TXLSCalculator;
class TXLSCompiledFormula;

// An OBJ sub-record that holds a formula (ftPictFmla, ftLbsData): its data as read and the
// formula compiled from it. The formula is [cbFmla u16][cce u16][4 bytes][cce token bytes]...
// from data offset 0; written again, the tokens come from the calculator and both size words
// follow them.
struct TObjFormula {
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
  std::shared_ptr<TXLSCompiledFormula> formula;

  // Compiles the tokens when the token size is not 0 (nothing without a calculator).
  void Compile(TXLSCalculator* calculator);
  // The data to write: rebuilt around the calculator's tokens, or as read.
  std::vector<std::uint8_t> Bytes(TXLSCalculator* calculator, int sheetId) const;
};

enum class TMsoShapeKind { kContainer, kTextBox, kPictureFrame, kHostControl, kChart, kCheckBox, kPicture, kComboBox, kListBox };

class TMsoShapeContainer {
 public:
  // A new shape: shape id 0, the drawing's next object id.
  TMsoShapeContainer(TMsoDrawing* drawing, std::uint32_t spVersion, std::uint32_t spFlags, std::uint16_t shapeType);
  // A shape read from its Sp record.
  TMsoShapeContainer(TMsoDrawing* drawing, std::unique_ptr<TMsoFbtSp> sp);
  virtual ~TMsoShapeContainer();
  TMsoShapeContainer(const TMsoShapeContainer&) = delete;
  TMsoShapeContainer& operator=(const TMsoShapeContainer&) = delete;

  virtual TMsoShapeKind Kind() const { return TMsoShapeKind::kContainer; }
  // Bytes of the Escher records.
  virtual std::int64_t GetSize() const;
  virtual std::int64_t GetTotalSize() const { return GetSize(); }
  // The OBJ sub-records of the record body: 1, or -1 without an ftCmo.
  virtual int ReadObj(const TXLSBlob& obj);
  virtual bool GetVisible() const;
  virtual void SetVisible(bool visible);
  // Writes the Escher records into the open MSODRAWING record blob, closes it into the output,
  // then the OBJ and the shape's other records.
  virtual void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText);
  // Text of a TXO group's second block (text box, check box, picture): 1, or -1 without it.
  virtual int ReadText(const TXLSBlobList& txo, bool rotated);

  // Adds to the anchor's rows (clamped to 0..65535) and columns (0..255).
  void MoveAnchor(std::int32_t rows, std::int32_t columns);

  TMsoFbtSp& Sp() { return *sp_; }
  const TMsoFbtSp& Sp() const { return *sp_; }
  TMsoFbtOpt& Opt();
  const TMsoFbtOpt* OptIfAny() const { return opt_.get(); }
  TMsoFbtOpt& TertiaryOpt();
  const TMsoFbtOpt* TertiaryOptIfAny() const { return tertiary_.get(); }
  TMsoFbtClientAnchor& Anchor();
  const TObjFormula* Formula() const { return formula_.get(); }

  std::uint16_t objectId = 0, objectType = 0, objectFlags = 0;
  double width = 0, height = 0;
  TMsoDrawing* Drawing() const { return drawing_; }
  // Moves every field of another shape into this one (a host control that becomes its class).
  void TakeFields(TMsoShapeContainer& from);

 protected:
  void WriteEscher(TXLSBlob& blob) const;
  void WriteCmo(TXLSBlob& obj, std::uint16_t flags) const;
  // Walks [id][size][data] sub-records; the visitor gets id, data offset and size, and returns
  // false to stop.
  template <typename Visit>
  static void WalkSubRecords(const TXLSBlob& obj, Visit visit);

  TMsoDrawing* drawing_;
  std::unique_ptr<TMsoFbtSp> sp_;
  std::unique_ptr<TMsoFbtOpt> opt_, tertiary_;
  std::unique_ptr<TMsoFbtClientAnchor> anchor_;
  std::unique_ptr<TObjFormula> formula_;
};

class TMSOShapeTextBox : public TMsoShapeContainer {
 public:
  using TMsoShapeContainer::TMsoShapeContainer;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kTextBox; }
  std::int64_t GetSize() const override { return TMsoShapeContainer::GetSize() + 8; }
  std::int64_t GetTotalSize() const override { return 0; }
  bool GetVisible() const override { return (noteOptions & 2) != 0; }
  void SetVisible(bool visible) override;
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;
  int ReadText(const TXLSBlobList& txo, bool rotated) override;

  std::u16string text;
  std::uint16_t row = 0, column = 0, noteOptions = 0;
  std::u16string author;
};

class TMSOShapePictureFrame : public TMsoShapeContainer {
 public:
  using TMsoShapeContainer::TMsoShapeContainer;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kPictureFrame; }
  std::int64_t GetTotalSize() const override { return -1; }
  int ReadObj(const TXLSBlob& obj) override;
  void SetVisible(bool visible) override;
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;
  // 1-based blip index in the picture store (Opt 0x0104), 0 without a picture.
  std::uint32_t BlipIndex() const;

  std::int32_t clipboardFormat = 0xFFFF;
  std::int32_t pictureOptions = 0;
  // A frame read from a file writes its OBJ flags back as read; a new one writes 0x6011.
  bool flagsRead = false;
};

class TMSOShapeHostControl : public TMsoShapeContainer {
 public:
  using TMsoShapeContainer::TMsoShapeContainer;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kHostControl; }
  // Own sub-records of the specific class, read after the shared part.
  virtual int ReadOwnObj(const TXLSBlob& obj) {
    (void)obj;
    return 1;
  }
};

class TMSOShapeChart : public TMSOShapeHostControl {
 public:
  using TMSOShapeHostControl::TMSOShapeHostControl;
  ~TMSOShapeChart() override;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kChart; }
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;
  void SetChart(std::unique_ptr<TXLSCustomChart> chart);
  TXLSCustomChart* Chart() const { return chart_.get(); }

 private:
  std::unique_ptr<TXLSCustomChart> chart_;
};

class TMSOShapeCheckBox : public TMSOShapeHostControl {
 public:
  using TMSOShapeHostControl::TMSOShapeHostControl;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kCheckBox; }
  std::int64_t GetSize() const override { return TMsoShapeContainer::GetSize() + 8; }
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;
  int ReadText(const TXLSBlobList& txo, bool rotated) override;

  std::u16string text;
};

class TMSOShapePicture : public TMSOShapeHostControl {
 public:
  using TMSOShapeHostControl::TMSOShapeHostControl;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kPicture; }
  int ReadOwnObj(const TXLSBlob& obj) override;
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;
  int ReadText(const TXLSBlobList& txo, bool rotated) override;

  std::u16string text;
  std::int32_t clipboardFormat = -1, pictureOptions = -1;
};

// Combo box and list box share the list sub-records.
class TMSOShapeListControl : public TMSOShapeHostControl {
 public:
  using TMSOShapeHostControl::TMSOShapeHostControl;
  int ReadOwnObj(const TXLSBlob& obj) override;
  void Write(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit, bool protectedText) override;

  bool filterDropDown = false;
  std::int32_t dropRow = 0, dropColumn = 0;
  std::unique_ptr<std::vector<std::uint8_t>> sbs, gmo;
  std::unique_ptr<TObjFormula> lbsData;  // the ftLbsData data with its list formula
};

class TMSOShapeComboBox : public TMSOShapeListControl {
 public:
  using TMSOShapeListControl::TMSOShapeListControl;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kComboBox; }
};

class TMSOShapeListBox : public TMSOShapeListControl {
 public:
  using TMSOShapeListControl::TMSOShapeListControl;
  TMsoShapeKind Kind() const override { return TMsoShapeKind::kListBox; }
  int ReadOwnObj(const TXLSBlob& obj) override;
};

// Closes an open MSODRAWING/OBJ/TXO record blob: its length word is set, it goes to the output
// (split into CONTINUE records past the limit) and the blob is emptied.
void CloseDrawingRecord(TXLSBlob& blob, TXLSBlobList& output, std::uint16_t limit);

}  // namespace xls
