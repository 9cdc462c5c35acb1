// Wide-string text services against independent sides: UTF-7 against RFC 2152's examples and
// Python's utf-7 codec, the code pages against Python's codecs, plus hot keys and kept-in-step
// texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "controls/widestring/code_pages.h"
#include "controls/widestring/utf7.h"
#include "controls/widestring/wide_texts.h"

using namespace widestring;

namespace {

std::string Hex(std::string_view bytes) {
  std::string out;
  char pair[3];
  for (unsigned char b : bytes) out.append(pair, std::snprintf(pair, sizeof pair, "%02x", b));
  return out;
}
std::string Hex(std::u16string_view text) {
  return Hex(std::string_view(reinterpret_cast<const char*>(text.data()), 2 * text.size()));  // little-endian
}
std::string Bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}
std::u16string Units(const std::string& hex) {
  const std::string b = Bytes(hex);
  std::u16string out(b.size() / 2, u'\0');
  std::memcpy(out.data(), b.data(), 2 * out.size());
  return out;
}

// Runs the Python peer with `lines` on its standard input; its output lines.
std::vector<std::string> Peer(const std::string& arguments, const std::vector<std::string>& lines) {
  char input[] = "/tmp/kv_widestring_peerXXXXXX";
  close(mkstemp(input));
  std::ofstream(input) << std::accumulate(lines.begin(), lines.end(), std::string(), [](std::string all, const std::string& l) { return all + l + "\n"; });
  const std::string command = "/usr/bin/python3 " KV_SOURCE_DIR "/tests/controls/widestring/codec_peer.py " + arguments + " < " + input;
  FILE* p = popen(command.c_str(), "r");
  std::vector<std::string> out;
  for (char line[1024]; p && std::fgets(line, sizeof line, p);) out.emplace_back(line, std::strcspn(line, "\n"));
  EXPECT_EQ(p ? pclose(p) : -1, 0) << command;
  unlink(input);
  return out;
}

// Random UTF-16 texts from every class that UTF-7 treats apart: the directly encoded, optional
// direct and white-space characters, "+", "-", "\" and "~", controls, Latin-1, the rest of the
// BMP, pairs for the other planes, and lone surrogates.
std::vector<std::u16string> RandomTexts(int count, unsigned seed) {
  std::mt19937 rng(seed);
  const std::u16string ascii = u"ABXYZabxyz019'(),-./:?!\"#$%&*;<=>@[]^_`{|}\t\r\n +-\\~";
  std::vector<std::u16string> texts(count);
  for (std::u16string& t : texts) {
    for (int i = static_cast<int>(rng() % 24); i > 0; --i) {
      const std::uint32_t r = rng();
      switch (r % 6) {
        case 0: case 1: t.push_back(ascii[r / 8 % ascii.size()]); break;
        case 2: t.push_back(static_cast<char16_t>(r / 8 % 0x100)); break;  // controls, Latin-1
        case 3: t.push_back(static_cast<char16_t>(0xE000 + r / 8 % 0x2000)); t.push_back(static_cast<char16_t>(0x100 + r / 8 % 0xD700)); break;
        case 4: t.push_back(static_cast<char16_t>(0xD800 + r / 8 % 0x400)); t.push_back(static_cast<char16_t>(0xDC00 + r / 16 % 0x400)); break;
        default: t.push_back(static_cast<char16_t>(0xD800 + r / 8 % 0x800)); break;  // lone surrogates
      }
    }
  }
  return texts;
}

}  // namespace

TEST(Utf7, TheRfcExamplesAndTheEdgeCases) {
  struct Case {
    std::u16string text;
    std::string utf7;
  };
  const Case cases[] = {
      {u"A\u2262\u0391.", "A+ImIDkQ."},
      {u"Hi Mom -\u263A-!", "Hi Mom -+Jjo--!"},
      {u"Item 3 is \u00A31.", "Item 3 is +AKM-1."},
      // The encoder leaves a run at the end of the text open.
      {u"\u65E5\u672C\u8A9E", "+ZeVnLIqe"},
      {u"A+B", "A+-B"},
      {u"", ""},
      {u"\U0001F600", "+2D3eAA"},
      // "+" inside a run stays in the run; a run before a base64 letter or "-" is closed.
      {u"\u00E9+a", "+AOkAKw-a"},
      {u"\u00E9-", "+AOk--"},
      {u"\u00E9!", "+AOk!"},
      {u"~\\", "+AH4AXA"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WideToUtf7Text(c.text), c.utf7);
    EXPECT_EQ(Utf7TextToWide(c.utf7), c.text) << c.utf7;
  }
  EXPECT_EQ(Utf7TextToWide("+ZeVnLIqe-"), u"\u65E5\u672C\u8A9E");
  EXPECT_EQ(Utf7TextToWide("+-"), u"+");
  EXPECT_EQ(Utf7TextToWide("+AGE!"), u"a!");
  EXPECT_EQ(Utf7TextToWide("+AGE-+AGI-"), u"ab");

  // Malformed: a byte above 127, runs that yield nothing, leftover bits that are not zero.
  for (std::string bad : {"\x80", "a\xC3\xA9", "+", "a+", "+!", "+A-", "+AG-", "+AGF-", "+AOk+", "+AGE-+"}) {
    try {
      Utf7TextToWide(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const EWideGeneralError& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF7");
    }
  }
}

TEST(Utf7, AgreesWithPythonBothWays) {
  const std::vector<std::u16string> texts = RandomTexts(4000, 20);
  std::vector<std::string> ours, asUnits;
  for (const auto& t : texts) {
    std::string encoded = WideToUtf7Text(t);
    // Python will not end a text inside a run on a pending high surrogate; the closing "-"
    // that our encoder leaves out is optional there.
    if (!t.empty() && t.back() >= 0xD800 && t.back() < 0xDC00) encoded += "-";
    ours.push_back(Hex(encoded));
    asUnits.push_back(Hex(t));
  }
  // Ours encoded, Python decodes.
  const auto decoded = Peer("utf7-decode", ours);
  ASSERT_EQ(decoded.size(), texts.size());
  // Python encoded, ours decodes; and the encodings agree but for the optional closing "-".
  const auto encoded = Peer("utf7-encode", asUnits);
  ASSERT_EQ(encoded.size(), texts.size());
  int failures = 0;
  for (std::size_t i = 0; i < texts.size() && failures < 10; ++i) {
    const std::string mine = WideToUtf7Text(texts[i]);
    const std::string theirs = Bytes(encoded[i]);
    bool ok = decoded[i] == asUnits[i] && (theirs == mine || theirs == mine + "-");
    try {
      ok = ok && Utf7TextToWide(theirs) == texts[i];
    } catch (const EWideError&) {
      ok = false;
    }
    if (!ok) {
      ++failures;
      ADD_FAILURE() << "text " << asUnits[i] << ": ours " << mine << ", Python " << theirs << ", Python read ours as " << decoded[i];
    }
  }
}

TEST(Utf7, MalformedInputIsRefusedOrReadAsPythonReadsIt) {
  std::mt19937 rng(7);
  const std::string alphabet = "+-+-AZaz09/+!~\\ \x80\xFF";
  std::vector<std::string> inputs, lines;
  for (int k = 0; k < 3000; ++k) {
    std::string s;
    for (int i = static_cast<int>(rng() % 16); i > 0; --i) s.push_back(alphabet[rng() % alphabet.size()]);
    inputs.push_back(s);
    lines.push_back(Hex(s));
  }
  const auto python = Peer("utf7-decode", lines);
  ASSERT_EQ(python.size(), inputs.size());
  int refused = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    try {
      const std::u16string ours = Utf7TextToWide(inputs[i]);
      // Both read it: the same text.
      if (python[i] != "ERR") {
        EXPECT_EQ(Hex(ours), python[i]) << inputs[i];
      }
    } catch (const EWideGeneralError& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF7");
      ++refused;
    }
  }
  EXPECT_GT(refused, 100);
}

// Where Windows' own tables, which ours follow, differ from Python's: 936 has the euro sign
// at 0x80; 950 has U+0080 at 0x80 and leaves 0xC6A1..0xC8FE to private use (Python fills that
// block with kana and Cyrillic).
bool WindowsDiffers(unsigned cp, const std::string& raw) {
  const auto lead = static_cast<unsigned char>(raw[0]);
  const auto trail = raw.size() > 1 ? static_cast<unsigned char>(raw[1]) : 0;
  if (raw == "\x80") return cp == 936 || cp == 950;
  return cp == 950 && ((lead == 0xC6 && trail >= 0xA1) || lead == 0xC7 || lead == 0xC8);
}

TEST(CodePages, AgreeWithPythonsCodecs) {
  for (unsigned cp : SupportedCodePages()) {
    if (cp == CP_UTF7 || cp == CP_UTF8) continue;
    const bool twoByte = cp == 932 || cp == 936 || cp == 949 || cp == 950;
    int failures = 0;
    auto fail = [&](const std::string& what) {
      if (++failures <= 8) ADD_FAILURE() << "code page " << cp << ": " << what;
    };
    std::map<std::string, std::string> pythonReads;  // bytes (hex) -> UTF-16 (hex) or ERR
    for (const std::string& line : Peer("table " + std::to_string(cp), {})) {
      std::istringstream in(line);
      std::string kind, from, to;
      in >> kind >> from >> to;
      if (kind == "B") {
        pythonReads[from] = to;
        const std::string raw = Bytes(from);
        const std::u16string ours = StringToWideStringEx(raw, cp);
        if (WindowsDiffers(cp, raw)) continue;
        if (to != "ERR") {
          if (ours != Units(to)) fail("bytes " + from + " read as " + Hex(ours) + ", Python " + to);
        } else if (raw.size() == 1 && !(twoByte && static_cast<unsigned char>(raw[0]) >= 0x81)) {
          // A byte the code page leaves undefined: U+FFFD, or in 1252 the control character.
          const char16_t expected = cp == 1252 ? static_cast<char16_t>(static_cast<unsigned char>(raw[0])) : u'\uFFFD';
          if (ours != std::u16string(1, expected)) fail("undefined byte " + from + " read as " + Hex(ours));
        }
        continue;
      }
      bool lossless = false;
      const std::u16string text = Units(from);
      const std::string ours = WideStringToStringEx(text, cp, &lossless);
      if (to != "ERR" && WindowsDiffers(cp, Bytes(to))) continue;
      // Python also writes some characters as the bytes of a look-alike (they read back as
      // another character); ours writes those as "?".
      const bool oneWay = to != "ERR" && pythonReads.count(to) && pythonReads[to] != from;
      // Where two byte pairs stand for one character, either is right.
      const bool sameCharacter = pythonReads.count(Hex(ours)) && pythonReads[Hex(ours)] == from;
      if (WindowsDiffers(cp, ours) || (sameCharacter && lossless)) continue;
      if (to != "ERR" && !(oneWay && ours == "?")) {
        if (ours != Bytes(to) || !lossless) fail("character " + from + " written as " + Hex(ours) + ", Python " + to);
      } else if (cp == 1252 && (text[0] == 0x81 || text[0] == 0x8D || text[0] == 0x8F || text[0] == 0x90 || text[0] == 0x9D)) {
        // 1252 writes its five control characters back as their bytes.
        if (ours != std::string(1, static_cast<char>(text[0])) || !lossless) fail("control " + from + " written as " + Hex(ours));
      } else if (ours != "?" || lossless) {
        fail("character " + from + " that Python cannot write written as " + Hex(ours));
      }
    }
    EXPECT_EQ(failures, 0) << "code page " << cp;
  }
}

TEST(CodePages, LocalesAndTheDefault) {
  EXPECT_EQ(DefaultUserCodePage(), CP_THREAD_ACP);
  EXPECT_EQ(AnsiCodePageOfLocale("ru_RU.UTF-8"), 1251u);
  EXPECT_EQ(AnsiCodePageOfLocale("zh_TW.Big5"), 950u);
  EXPECT_EQ(AnsiCodePageOfLocale("zh_CN"), 936u);
  EXPECT_EQ(AnsiCodePageOfLocale("C"), 1252u);
  setenv("LC_ALL", "el_GR.UTF-8", 1);
  EXPECT_EQ(WideStringToString(u"\u03A9"), "\xD9");
  EXPECT_EQ(StringToWideString("\xD9"), u"\u03A9");
  SetDefaultUserCodePage(CP_UTF7);
  EXPECT_EQ(WideStringToString(u"A+\u03A9"), "A+-+A6k");
  EXPECT_THROW(StringToWideString("+"), EWideGeneralError);
  RestoreDefaultUserCodePage();
  EXPECT_EQ(DefaultUserCodePage(), CP_THREAD_ACP);
  // The C library's 949 converter takes this undefined pair whole: nothing is read past the end.
  EXPECT_EQ(StringToWideStringEx("x\xA2\xE8", 949), u"x\uFFFD");
  // A code page not supported reads and writes as 1252.
  EXPECT_EQ(StringToWideStringEx("\x80", 437), u"\u20AC");
  bool lossless = true;
  EXPECT_EQ(WideStringToStringEx(u"a\U0001F600", CP_UTF8, &lossless), "a\xF0\x9F\x98\x80");
  EXPECT_TRUE(lossless);
  WideStringToStringEx(u"\xD800", CP_UTF8, &lossless);
  EXPECT_FALSE(lossless);
  unsetenv("LC_ALL");
}

// A trailing "(&X)" is a caption's hot key only in a Far East locale of the process.
TEST(WideTexts, FarEastHotKeysFollowTheProcessLocale) {
  const std::u16string file = u"\u30D5\u30A1\u30A4\u30EB";  // "file" in Japanese
  for (const char* locale : {"ja_JP.UTF-8", "zh_CN.GB2312", "ko_KR.UTF-8", "zh_TW.Big5"}) {
    setenv("LC_ALL", locale, 1);
    EXPECT_TRUE(FarEastLocale()) << locale;
  }
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  EXPECT_TRUE(SameCaptionText(file + u"(&F)", file));
  EXPECT_TRUE(SameCaptionText(file + u"(&F)", u"&" + file + u"(&X)"));
  EXPECT_EQ(SyncHotKeyPosition(file, file + u"(&F)"), file + u"(&F)");
  EXPECT_EQ(SyncHotKeyPosition(file + u"(&G)", file + u"(&F)"), file + u"(&F)");
  EXPECT_EQ(SyncHotKeyPosition(file + u"(&G)", u"&" + file), u"&" + file);
  EXPECT_EQ(SyncHotKeyPosition(u"&Open(&O)", u"?p&en(&O)"), u"Op&en(&O)");
  setenv("LC_ALL", "C", 1);
  EXPECT_FALSE(FarEastLocale());
  EXPECT_FALSE(SameCaptionText(file + u"(&F)", file));
  EXPECT_TRUE(SameCaptionText(file + u"(&F)", file + u"(F)"));
  EXPECT_EQ(SyncHotKeyPosition(file + u"(F&)", file + u"(&F)"), file + u"(&F)");
  EXPECT_THROW(SyncHotKeyPosition(file, file + u"(&F)"), EWideInternalError);
  unsetenv("LC_ALL");
}

TEST(WideTexts, HintsHotKeysAndKeptInStepStrings) {
  EXPECT_EQ(LongHintPart(u"Open|Opens a file"), u"Opens a file");
  EXPECT_EQ(LongHintPart(u"Opens a file"), u"Opens a file");
  EXPECT_EQ(LongHintPart(u"a|b|c"), u"b|c");

  EXPECT_EQ(StripHotKeys(u"&Datei && Mehr"), u"Datei  Mehr");
  EXPECT_EQ(StripHotKeys(u"\u30D5\u30A1\u30A4\u30EB(&F)", true), u"\u30D5\u30A1\u30A4\u30EB");
  EXPECT_TRUE(SameCaptionText(u"&\u0424\u0430\u0439\u043B", u"\u0424\u0430&\u0439\u043B"));
  EXPECT_FALSE(SameCaptionText(u"\u0424\u0430\u0439\u043B", u"\u0444\u0430\u0439\u043B"));
  EXPECT_TRUE(SameCaptionText(u"\u0424\u0430\u0439\u043B", u"\u0444\u0430\u0439\u043B", true));
  // The 8-bit caption has "?" where its code page lacks a character.
  EXPECT_EQ(SyncHotKeyPosition(u"&\u0424\u0430\u0439\u043B", u"??&??"), u"\u0424\u0430&\u0439\u043B");
  EXPECT_EQ(SyncHotKeyPosition(u"Save", u"Sa&ve"), u"Sa&ve");
  try {
    SyncHotKeyPosition(u"&Open", u"&Close");
    ADD_FAILURE();
  } catch (const EWideInternalError& e) {
    EXPECT_STREQ(e.what(), "Internal Error: SyncHotKeyPosition Failed (\"&Open\" <> \"&Close\").");
  }

  setenv("LC_ALL", "ru_RU.UTF-8", 1);
  std::u16string stored;
  std::string ansi = "Old";
  std::vector<std::string> set;
  auto setter = [&](const std::string& value) {
    set.push_back(value);
    ansi = value;
  };
  KeptInStepSet(u"\u041F\u0443\u0441\u043A", stored, ansi, setter);
  EXPECT_EQ(ansi, "\xCF\xF3\xF1\xEA");
  EXPECT_EQ(KeptInStepGet(stored, ansi), u"\u041F\u0443\u0441\u043A");
  KeptInStepSet(u"\u041F\u0443\u0441\u043A", stored, ansi, setter);  // no change
  EXPECT_EQ(set.size(), 1u);
  // The 8-bit form unchanged (1252 has no Cyrillic), the wide one different: the setter hears
  // of it with "" first.
  setenv("LC_ALL", "C", 1);
  stored = u"\u0416\u0416";
  ansi = "??";
  KeptInStepSet(u"\u0417\u0417", stored, ansi, setter);
  ASSERT_EQ(set.size(), 3u);
  EXPECT_EQ(set[1], "");
  EXPECT_EQ(set[2], "??");
  EXPECT_EQ(KeptInStepGet(stored, ansi), u"\u0417\u0417");
  // The 8-bit caption changed behind its back: that text is the value.
  ansi = "Neu";
  EXPECT_EQ(KeptInStepGet(stored, ansi), u"Neu");
  unsetenv("LC_ALL");
}
