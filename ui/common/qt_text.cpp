#include "ui/common/qt_text.h"

#include <QLocale>
#include <QStringDecoder>
#include <cmath>

#include "core/texts.h"

namespace ui {

QString Qs(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Qs(const std::string& text) { return Qs(std::string_view(text)); }

std::string Ss(const QString& text) { return text.toStdString(); }

QString L(int id) { return Qs(core::LangStr(id)); }

QString LIn(int id, int language) {
  auto& s = core::State();
  const int current = s.LanguageIndex;
  s.LanguageIndex = language;
  QString text = L(id);
  s.LanguageIndex = current;
  return text;
}

QString MenuText(const QString& text) {
  QString caption;
  caption.reserve(text.size() + 2);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      caption += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '&') {
      caption += "&&";
      ++i;
    } else if (i + 1 < text.size() && text[i + 1].isLetterOrNumber()) {
      caption += '&';
    } else {
      caption += "&&";
    }
  }
  return caption;
}

QString ShownText(const QString& caption) {
  QString shown;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    else if (caption[i] == '&') continue;
    shown += caption[i];
  }
  return shown;
}

namespace {
QLocale CLocale() {
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::RejectGroupSeparator);
  return c;
}

bool HasBlank(const QString& text) {
  return !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
}
}  // namespace

bool ParseInteger(const QString& text, int& value) {
  if (HasBlank(text)) return false;
  bool ok = false;
  const int v = CLocale().toInt(text, &ok);
  if (ok) value = v;
  return ok;
}

bool ParseDecimal(const QString& text, double& value) {
  if (HasBlank(text)) return false;
  bool ok = false;
  const double v = CLocale().toDouble(text, &ok);
  if (!ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

QString ShortName(const QString& path) {
  const qsizetype cut = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
  return path.mid(cut + 1);
}

}  // namespace ui

namespace ui {

QString FormatNumber(int decimals, float value) {
  if (value != value) return QString();
  return Qs(core::FormatValue(decimals, value));
}

QString PageCaption(int model, int group) {
  const auto& s = core::State();
  QString name;
  if (model >= 1 && model <= s.ModelCount && model <= static_cast<int>(s.Models.size()) && group >= 1 &&
      group <= 9 && s.LanguageIndex >= 1 && s.LanguageIndex <= 4)
    name = Qs(s.Models[model - 1].pageNames[group - 1][s.LanguageIndex - 1]);
  return "   " + name + "   ";
}

}  // namespace ui
