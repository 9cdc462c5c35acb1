// The one door through which windows talk to the user outside their own widgets: message
// boxes, input boxes, file dialogs, beeps, opened links and modal dialogs. The desktop
// implementation shows the real Qt dialogs; tests install a ScriptedServices that answers from
// queues and records every call, so no window ever blocks a test.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

class QDialog;

namespace platform::gui {

// Modal results and message-box answers; the numbers are the ones the windows pass on to their
// creators (IdOk 1 ... IdNo 7), so a result can be stored or compared as a plain integer.
enum ModalResult : int {
  IdOk = 1,
  IdCancel = 2,
  IdAbort = 3,
  IdRetry = 4,
  IdYes = 6,
  IdNo = 7,
};

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { Information, Question, Warning, Stop, None };
// How an input box shows what is typed: as typed, or hidden (a password).
enum class Echo { Normal, Password };

struct FileDialogSpec {
  bool save = false;
  QString filter;         // "Parameter Files|*.par|..." pairs of name and patterns
  QString defaultSuffix;  // without the dot
  QString folder;         // initial folder; empty keeps the dialog's own
  QString fileName;       // preset file name
};

class Services {
 public:
  virtual ~Services() = default;
  // Returns IdOk, IdYes, IdNo or IdCancel.
  virtual int MessageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) = 0;
  // Returns true when confirmed; `text` holds the entry.
  virtual bool InputQuery(const QString& caption, const QString& prompt, QString& text, Echo echo = Echo::Normal) = 0;
  // Returns true with the chosen full path.
  virtual bool FileDialog(const FileDialogSpec& spec, QString& path) = 0;
  virtual void Beep() = 0;
  virtual void OpenLink(const QString& target) = 0;
  // Shows the dialog modally and returns its modal result.
  virtual int ExecDialog(QDialog& dialog) = 0;
};

// The services in use: the desktop ones unless a test installed others.
Services& Gui();
// Installs `services` (not owned); nullptr restores the desktop services.
void SetGui(Services* services);

// Turns "Name|*.a;*.b|Name2|*.c" into Qt's "Name (*.a *.b);;Name2 (*.c)".
QString QtFilter(const QString& filter);

class DesktopServices : public Services {
 public:
  int MessageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) override;
  bool InputQuery(const QString& caption, const QString& prompt, QString& text, Echo echo = Echo::Normal) override;
  bool FileDialog(const FileDialogSpec& spec, QString& path) override;
  void Beep() override;
  void OpenLink(const QString& target) override;
  int ExecDialog(QDialog& dialog) override;
};

// Answers from queues filled by a test and records every call. A call without a queued answer
// counts as unexpected and answers as the user closing the box (Cancel, or OK for an OK box).
class ScriptedServices : public Services {
 public:
  struct MessageCall {
    QString text, caption;
    Buttons buttons;
    Icon icon;
  };
  struct InputCall {
    QString caption, prompt;
    Echo echo;
  };
  struct InputAnswer {
    bool confirmed;
    QString text;
  };
  struct FileAnswer {
    bool confirmed;
    QString path;
  };
  using DialogScript = std::function<void(QDialog&)>;

  // Scripting.
  std::deque<int> messageAnswers;
  std::deque<InputAnswer> inputAnswers;
  std::deque<FileAnswer> fileAnswers;
  std::deque<DialogScript> dialogScripts;

  // Records.
  std::vector<MessageCall> messages;
  std::vector<InputCall> inputs;
  std::vector<FileDialogSpec> fileDialogs;
  std::vector<QString> dialogs;  // class names of the dialogs run
  std::vector<QString> links;
  int beeps = 0;
  int unexpected = 0;

  int MessageBox(const QString& text, const QString& caption, Buttons buttons, Icon icon) override;
  bool InputQuery(const QString& caption, const QString& prompt, QString& text, Echo echo = Echo::Normal) override;
  bool FileDialog(const FileDialogSpec& spec, QString& path) override;
  void Beep() override;
  void OpenLink(const QString& target) override;
  int ExecDialog(QDialog& dialog) override;
};

// Installs a ScriptedServices for a scope and restores the previous services afterwards.
class ScopedScript {
 public:
  ScopedScript();
  ~ScopedScript();
  ScopedScript(const ScopedScript&) = delete;
  ScopedScript& operator=(const ScopedScript&) = delete;
  ScriptedServices& operator*() { return script_; }
  ScriptedServices* operator->() { return &script_; }

 private:
  ScriptedServices script_;
  Services* previous_;
};

}  // namespace platform::gui
