// File > Export As end to end: a parameter document written as a workbook and read back by
// python3-xlrd, LibreOffice and gnumeric; a failed save shows a message; without a parameter
// view nothing happens.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include "core/common.h"
#include "core/texts.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main/main_form.h"

using ui::TMainForm;
using uitest::Sandbox;

namespace {

QStringList ReadWithXlrd(const QString& path) {
  QProcess p;
  p.start("/usr/bin/python3", {QStringLiteral(KV_TEST_DATA) + "/../ui/export_check.py", path});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    qWarning() << p.readAllStandardError();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace

class ExportTest : public QObject {
  Q_OBJECT
 private slots:
  // The document exported once, read back by xlrd (cell types and styles), then by LibreOffice
  // and gnumeric (the spreadsheet tests' peer checker) with the texts as they show them.
  void exportsTheDocumentAsTextCells() {
    Sandbox box;
    TMainForm form;
    uitest::NewDocument(form, box.gui(), 1);
    auto& document = core::State().Document;
    const int n = static_cast<int>(document.size());
    QVERIFY(n >= 3);
    document[0].decimals = 2;
    document[0].value = 1.5f;
    document[1].value = core::AbsentValue();
    box.gui().fileAnswers.push_back({true, box.Path("params")});
    form.FileExportClick();
    QCOMPARE(box.gui().fileDialogs.size(), size_t(1));
    QCOMPARE(box.gui().fileDialogs[0].filter, QString("Excel Files|*.xls"));
    QVERIFY(box.gui().messages.empty());
    const QString file = box.Path("params.xls");
    QVERIFY(QFileInfo::exists(file));

    const QStringList lines = ReadWithXlrd(file);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines[0], QString("sheets Sheet1"));
    QCOMPARE(lines[1], QString("size %1 2").arg(n + 1));
    QStringList expected{"0 0 text 1 1 Code", "0 1 text 1 1 Value"};
    QJsonArray display;
    auto add = [&display](int r, int c, const QString& text) { display.append(QJsonArray{r, c, "text", QJsonArray{text}}); };
    add(0, 0, "Code");
    add(0, 1, "Value");
    for (int r = 0; r < n; ++r) {
      const auto& record = document[static_cast<std::size_t>(r)];
      const QString code = QString::fromStdString(record.code.str());
      const QString value = QString::fromStdString(core::FormatValue(record.decimals, record.value));
      expected << QString("%1 0 text 0 1 %2").arg(r + 1).arg(code);
      add(r + 1, 0, code);
      if (core::IsAbsent(record.value)) {
        expected << QString("%1 1 empty 0 1 ").arg(r + 1);  // a blank of the centred block
      } else {
        expected << QString("%1 1 text 0 1 %2").arg(r + 1).arg(value);
        add(r + 1, 1, value);
      }
    }
    QCOMPARE(lines.mid(2), expected);
    QVERIFY(lines.contains("1 1 text 0 1 1.50"));  // the decimals stay as typed

    QJsonObject checked{{"path", file}, {"sheet", "Sheet1"}, {"display", display}};
    uitest::WriteFile(box.Path("peers.json"), QJsonDocument(QJsonObject{{"files", QJsonArray{checked}}}).toJson());
    for (const char* peer : {"libreoffice", "gnumeric"}) {
      QProcess p;
      p.start("/usr/bin/python3", {QStringLiteral(KV_TEST_DATA) + "/../xls/io/peers_check.py", peer, box.Path(""),
                                   box.Path("peers.json")});
      QVERIFY(p.waitForFinished(300000));
      QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())));
    }
  }

  // Without a parameter view nothing happens; a failed save shows a message and leaves nothing.
  void failedSaveShowsAMessage() {
    Sandbox box;
    TMainForm form;
    form.FileExportClick();
    QVERIFY(box.gui().fileDialogs.empty());
    QVERIFY(box.gui().messages.empty());
    uitest::NewDocument(form, box.gui(), 1);
    box.gui().fileAnswers.push_back({true, box.Path("missing/params.xls")});
    form.FileExportClick();
    QCOMPARE(box.gui().messages.size(), size_t(1));
    QCOMPARE(box.gui().messages[0].caption, QString::fromStdString(core::LangStr(73)));
    QVERIFY(box.gui().messages[0].text.contains("missing"));
    QVERIFY(!QFileInfo::exists(box.Path("missing")));
  }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
