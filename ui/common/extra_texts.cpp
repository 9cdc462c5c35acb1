#include "ui/common/extra_texts.h"

#include <QStringList>
#include <cstring>

#include "ui/common/qt_text.h"

namespace ui::extra {

QString DefaultTitle() { return "Quorvane 1.00"; }
QString LogoName() { return "Quorvane"; }
QString NoRevision() { return "xxx"; }
QString NoModel() { return "xxxxxxxxxxxx"; }
QString ComLabel() { return "COM"; }

QString FolderNotFile() { return "a folder, not a file"; }
QString NotAPlainFile() { return "too large or not a plain file"; }
QString UnknownError() { return "An error occurred that gives no description."; }

QString ErrorReadingParameter() { return "Error Reading Parameter "; }
QString ReadErrorCaption() { return "Read Error"; }

QString TransactionFailure(core::TransactionResult result) {
  switch (result) {
    case core::kResultOk:
      return QString();
    case core::kResultSendFailed:
      return "The request could not be sent: the serial port did not take it.";
    case core::kResultBadReply:
      return "No valid reply from the drive: no answer in time, a damaged reply, or a read refused.";
    case core::kResultWrongContent:
      return "The drive's reply did not confirm what was written.";
    case core::kResultBadIndex:
      return "The parameter is not in the document.";
    case core::kResultBadValue:
      return "The value does not fit the parameter's register; nothing was sent.";
    case core::kResultBusy:
      return "Another exchange with the drive was still running; nothing was sent.";
    case core::kResultPortFailed:
      return "The serial port is gone: its device reported an error (adapter unplugged, or the line closed at "
             "its other end). The link is closed; link again once the port is back.";
    case core::kResultException + 1:
      return "The drive refused the request: illegal function (exception 1).";
    case core::kResultException + 2:
      return "The drive refused the request: illegal data address (exception 2).";
    case core::kResultException + 3:
      return "The drive refused the value: illegal data value (exception 3).";
    case core::kResultException + 4:
      return "The drive failed while acting on the request (exception 4).";
    default:
      if (result > core::kResultException)
        return QString("The drive refused the request (exception %1).").arg(result - core::kResultException);
      return QString("The exchange with the drive failed (result %1).").arg(result);
  }
}

QString ValueDoesNotFit(const QString& code, const QString& value, const QString& low, const QString& high) {
  return QString("%1: the value %2 does not fit the parameter's register, which takes %3 to %4. Nothing was sent.")
      .arg(code, value, low, high);
}

QString WriteStopped(const QString& code, int station, core::TransactionResult result, int writtenHere, int total,
                     const std::vector<int>& stationsDone) {
  QString text = QString("Parameter %1 was not written to station %2.\n%3\n").arg(code).arg(station).arg(
      TransactionFailure(result));
  text += QString("Already written to station %1: %2 of %3 parameters (they stay written).")
              .arg(station)
              .arg(writtenHere)
              .arg(total);
  if (!stationsDone.empty()) {
    QStringList done;
    for (int s : stationsDone) done << QString::number(s);
    text += "\nWritten in full before: station " + done.join(", ") + ".";
  }
  return text;
}

QString PortOpenFailure(const core::PortOpenFailure& failure) {
  const QString path = failure.path.empty() ? QString("(no device for this port number)") : Qs(failure.path);
  const QString reason = failure.error.error != 0 ? QString(" (%1)").arg(QString::fromLocal8Bit(std::strerror(failure.error.error))) : "";
  switch (failure.error.kind) {
    case platform::OpenFailure::Missing:
      return path + ": no such device" + reason + "; is the adapter plugged in?";
    case platform::OpenFailure::Busy:
      return path + ": the port is in use by another program" + reason + ".";
    case platform::OpenFailure::NoPermission:
      return path + ": no permission to use the port" + reason +
             "; add your user to the dialout group (sudo adduser $USER dialout) and log in again.";
    case platform::OpenFailure::NotSerial:
      return path + ": not a serial port" + reason + ".";
    case platform::OpenFailure::Settings:
      return path + ": the port refused the line settings" + reason + ".";
    case platform::OpenFailure::Other:
    case platform::OpenFailure::None:
      break;
  }
  return path + ": the port could not be opened" + reason + ".";
}

QString ParameterAndCompareFilesFilter() {
  return "Parameter & Compare Files|*.par;*.cmp|Parameter Files|*.par|Compare Files|*.cmp";
}
QString ParameterFilesFilter() { return "Parameter Files|*.par"; }
QString CompareFilesFilter() { return "Compare Files|*.cmp"; }
QString ExcelFilesFilter() { return "Excel Files|*.xls"; }

QString FileButton(int n) { return QString("File %1...").arg(n); }

QString NotADocumentFile() { return "Not a parameter (*.par) or compare (*.cmp) file:"; }
QString DocumentUnreadable() { return "The file could not be read as a document:"; }
QString ModelNotConfigured(const QString& model) {
  return "The document is of model " + model + ", which this configuration does not hold:";
}

QString ConfigurationMissing(const QString& path) {
  return "The configuration file was not found:\n" + path +
         "\n\nThe program runs without drive models and with the English texts only. Start it in the folder "
         "that holds Kestravel.cfg (scripts/run FOLDER starts it there).";
}

QString ConfigurationUnreadable(const QString& path, const QString& reason) {
  return "The configuration file could not be read (" + reason + "):\n" + path +
         "\n\nThe program runs without drive models and with the English texts only.";
}

QString MonitorEndedByDrive() {
  return "The drive ended the monitor session after the command; the link is closed. Link again when the "
         "drive is ready.";
}

QString MotorRecordNotWritten(int record, core::TransactionResult result) {
  QString text = QString("Motor record %1 was not written. %2").arg(record).arg(TransactionFailure(result));
  if (record > 1) text += QString(" Records 1 to %1 are in the drive.").arg(record - 1);
  return text;
}

}  // namespace ui::extra
