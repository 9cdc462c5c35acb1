// A small stand-in for the workbook and its defined names, answering the external-reference
// table's callbacks, plus helpers shared by the formula tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/formula.h"
#include "xls/formula/formula_text.h"
#include "xls/formula/wide_text.h"
#include "xls/model/codepage.h"
#include "xls/model/blob.h"

namespace xls::test {

struct FakeName {
  int id;
  std::u16string text;
  int scope;   // sheet id, 0 for the workbook
  int output;  // NAME record number
};

struct FakeBook {
  std::vector<std::pair<int, std::u16string>> sheets{
      {11, u"Sheet1"}, {12, u"Sheet2"}, {13, u"My Sheet"}, {14, u"It's"}};
  std::vector<FakeName> names{
      {1, u"MyName", 0, 1}, {2, u"MyRange", 0, 2}, {3, u"Local", 12, 3}};

  TXLSExternCallbacks Callbacks() {
    TXLSExternCallbacks cb;
    cb.sheetIdByName = [this](const std::u16string& n) {
      for (auto& s : sheets) {
        if (ftext::UpperAscii(s.second) == ftext::UpperAscii(n)) return s.first;
      }
      return -1;
    };
    cb.sheetIndexById = [this](int id) {
      for (size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].first == id) return static_cast<int>(i + 1);
      }
      return -1;
    };
    cb.sheetNameByIndex = [this](int index) {
      if (index < 1 || index > static_cast<int>(sheets.size())) return std::u16string();
      return sheets[static_cast<size_t>(index - 1)].second;
    };
    cb.nameTextById = [this](int id) {
      for (auto& n : names) {
        if (n.id == id) return n.text;
      }
      return std::u16string();
    };
    cb.nameOutputIndexById = [this](int id) {
      for (auto& n : names) {
        if (n.id == id) return n.output;
      }
      return -1;
    };
    cb.nameIdByText = [this](const std::u16string& text, int scope) {
      for (auto& n : names) {
        if (ftext::UpperAscii(n.text) == ftext::UpperAscii(text) && (n.scope == scope || n.scope == 0)) {
          return n.id;
        }
      }
      return -1;
    };
    cb.nameScopeById = [this](int id) {
      for (auto& n : names) {
        if (n.id == id) return n.scope;
      }
      return -1;
    };
    cb.nextSheetNumber = [this]() { return static_cast<int>(sheets.size()) + 1; };
    return cb;
  }

  void DeleteSheet(const std::u16string& name) {
    for (auto it = sheets.begin(); it != sheets.end(); ++it) {
      if (it->second == name) {
        sheets.erase(it);
        return;
      }
    }
  }
};

inline std::string Hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

inline std::vector<uint8_t> Unhex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A compiler over a fake book, with helpers from text to token hex and back.
struct Compiler {
  FakeBook book;
  TXLSExternSheet externs{book.Callbacks()};
  TXLSFormula formula{externs};
  TXLSFormulaText writer{formula.Catalogue(), externs};

  // Token bytes (without the size word, with any trailing array data) as hex; "parse" or
  // "compile" when that step fails.
  std::string Tokens(const std::u16string& text, int rootClass = kRootValue,
                     int format = kFormatBiff8, int row = 0, int col = 0) {
    auto tree = formula.CompileText(text, 0);
    if (!tree) return "parse";
    externs.Renumber();
    formula.SetFileFormat(format);
    std::unique_ptr<TXLSBlob> blob;
    if (formula.Compile(*tree, rootClass, 1, row, col, blob) != 1) return "compile";
    return Hex(blob->GetData() + 2, blob->GetSize() - 2);
  }

  // Decodes token bytes (no size word; trailing array data after `size` bytes) and prints them.
  std::string Text(const std::vector<uint8_t>& bytes, size_t size, int version = 0x600,
                   int row = 0, int col = 0) {
    size_t pos = 0;
    auto tree = formula.DecodeTokens(bytes.data(), bytes.size(), pos, version, size);
    if (!tree) return "decode";
    std::u16string text;
    if (writer.NodeText(tree.get(), row, col, text) != 1) return "text";
    return WideToUtf8(text);
  }

  std::string Text(const std::string& hex, int version = 0x600) {
    auto bytes = Unhex(hex);
    return Text(bytes, bytes.size(), version);
  }

  // Token bytes to tree to token bytes (BIFF8, cell formula at A1); "decode" or "compile".
  std::string RoundTripTokens(const std::string& hex) {
    auto bytes = Unhex(hex);
    size_t pos = 0;
    auto tree = formula.DecodeTokens(bytes.data(), bytes.size(), pos, 0x600, bytes.size());
    if (!tree) return "decode";
    externs.Renumber();
    formula.SetFileFormat(kFormatBiff8);
    std::unique_ptr<TXLSBlob> blob;
    if (formula.Compile(*tree, kRootValue, 1, 0, 0, blob) != 1) return "compile";
    return Hex(blob->GetData() + 2, blob->GetSize() - 2);
  }

  // Text to tree to tokens to tree to text.
  std::string RoundTrip(const std::u16string& text, int format = kFormatBiff8) {
    auto tree = formula.CompileText(text, 0);
    if (!tree) return "parse";
    externs.Renumber();
    formula.SetFileFormat(format);
    std::unique_ptr<TXLSBlob> blob;
    if (formula.Compile(*tree, kRootValue, 1, 0, 0, blob) != 1) return "compile";
    uint32_t size = blob->GetWord(0);
    std::vector<uint8_t> bytes(blob->GetData() + 2, blob->GetData() + blob->GetSize());
    return Text(bytes, size, format == kFormatBiff5 ? 0x500 : 0x600);
  }
};

}  // namespace xls::test
