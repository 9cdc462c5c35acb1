// Every text the windows show that the message table does not hold, in one place: the fixed
// texts some windows always show in English, and what the windows add to a message so that a
// user of this system can act on it (the reason behind a failure, the parameter and its
// limits, what a bulk write had already done). These explanations come in the four languages
// of the configuration's texts (English, Italian, German, French), in the current language as
// the configuration names it; a language of another name gets them in English.
#pragma once

#include <QString>
#include <vector>

#include "core/modbus.h"
#include "core/serial_link.h"
#include "platform/atomic_file.h"

namespace ui::extra {

// The main window's design texts: its title without a configured one, the name in its logo, the
// status-bar stand-ins for no revision and no model, and the link dialog's port label.
QString DefaultTitle();
QString LogoName();
QString NoRevision();
QString NoModel();
QString ComLabel();

// Why the configuration file could not be read, when the system gives no reason of its own.
QString FolderNotFile();
QString NotAPlainFile();
// An error that carries no text of its own.
QString UnknownError();

// The bulk read's failure box: text (followed by the parameter code) and caption.
QString ErrorReadingParameter();
QString ReadErrorCaption();

// What failed: a read (the station probe's identification included), a write, or a command
// that reads a register and writes it back (the monitor's toggles: either may have failed).
enum class Exchange { Read, Write, ReadThenWrite };
// The serial port itself failed under a transaction (its result kResultPortFailed).
QString PortGone();
// What a failed drive transaction means, one sentence per result code, naming what failed.
QString TransactionFailure(core::TransactionResult result, Exchange exchange);
// A value the parameter's register cannot hold, with the register's limits.
QString ValueDoesNotFit(const QString& code, const QString& value, const QString& low, const QString& high);
// After a write that failed but that the drive may have done all the same, what reading the
// parameter `code` back showed: the read's result, the value read (`held`, formatted) and
// whether it is the value written. A read that failed too leaves the drive's value unknown.
QString WrittenValueReadBack(const QString& code, core::TransactionResult readResult, const QString& held,
                             bool holdsWritten);
// The same where the value written cannot be told from the value read (a command that toggles
// bits, the password register, whose value reads back otherwise): the value the drive holds.
QString ValueReadBack(const QString& code, core::TransactionResult readResult, const QString& held);
// What such a read names: a holding register, a coil, the profile's seven registers from
// `first`, a record of the motor data table (1-based).
QString RegisterName(int address);
QString CoilName(int address);
QString ProfileName(int first);
QString MotorRecordName(int record);
// Registers read back, in decimal, separated by spaces.
QString WordsText(const std::vector<std::uint16_t>& words);
// The hint of a setting whose value in the drive is unknown (the grid marks it).
QString ValueUnknownHint();
// Link at one station failed: the station did not answer it, or what its identification met.
QString LinkFailure(core::TransactionResult result, int station);
// A bulk write that stopped: the parameter and station that failed, why, what reading it back
// showed (`readBack`, empty when it was not read back; `valueUnknown` when that read failed too,
// so that the write may have been done), and what had been written already (to this station,
// and the stations before it that were written in full).
QString WriteStopped(const QString& code, int station, core::TransactionResult result, int writtenHere, int total,
                     const std::vector<int>& stationsDone, const QString& readBack = QString(),
                     bool valueUnknown = false);

// The second line of "Can not open COM port": the device path and the system's reason.
QString PortOpenFailure(const core::PortOpenFailure& failure);

// The file kinds of the file dialogs.
QString ParameterAndCompareFilesFilter();
QString ParameterFilesFilter();
QString CompareFilesFilter();
QString ExcelFilesFilter();

// The buttons that pick the files of a file compare ("File 1..." ...).
QString FileButton(int n);

// Why Open or a compare could not use a file (followed by the file's path).
QString NotADocumentFile();
QString DocumentUnreadable();
// The second line of "Model Unknown!!" for a document whose model this configuration lacks.
QString ModelNotConfigured(const QString& model);

// At start-up: the configuration file was not found at `path` (the program then has no drive
// models and only the built-in English texts), or it exists but could not be read.
QString ConfigurationMissing(const QString& path);
QString ConfigurationUnreadable(const QString& path, const QString& reason);

// After a monitor command that ends the session at the drive, when the configuration gives
// no text 70.
QString MonitorEndedByDrive();

// A motor download that stopped: the record that could not be written (1-based) and why; the
// records before it are in the drive.
QString MotorRecordNotWritten(int record, core::TransactionResult result);

// What a failed file write or read names its step with (platform::SetFileStepWords), UTF-8.
std::string FileStepWords(platform::FileStep step);

// The print preview's tool bar commands and its failure headlines (the path follows
// PdfNotSaved on a line of its own).
enum class PreviewText {
  Print, SaveAsPdf, ZoomIn, ZoomOut, FitWidth, FirstPage, PriorPage, NextPage, LastPage, Close, NotPrinted, PdfNotSaved
};
QString PreviewCommand(PreviewText text);

}  // namespace ui::extra
