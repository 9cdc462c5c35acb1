#include "ui/common/extra_texts.h"

#include <QStringList>
#include <cstring>

#include "core/common.h"
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

namespace {

enum class Language { English, Italian, German, French };

// The language of the texts below: the message table's current language, told by the name the
// configuration gives it in its own column (message 111 + n in language n, as the language
// switch offers it), so that it follows however the configuration numbers its languages. A
// language without a configured name, or of a name not known here, gets the English texts.
Language CurrentLanguage() {
  const auto& s = core::State();
  if (s.LanguageIndex < 1 || s.LanguageIndex > 4) return Language::English;
  const auto n = static_cast<std::size_t>(s.LanguageIndex);
  const QString name = Qs(s.LangTable[110 + n][n - 1]).trimmed().toLower();
  if (name.startsWith("ital")) return Language::Italian;
  if (name.startsWith("deu") || name.startsWith("germ")) return Language::German;
  if (name.startsWith("fran") || name.startsWith("fren")) return Language::French;
  return Language::English;
}

// The text of the current language among its four versions (UTF-8).
QString Pick(const char* english, const char* italian, const char* german, const char* french) {
  switch (CurrentLanguage()) {
    case Language::Italian: return QString::fromUtf8(italian);
    case Language::German: return QString::fromUtf8(german);
    case Language::French: return QString::fromUtf8(french);
    case Language::English: break;
  }
  return QString::fromUtf8(english);
}

// What the drive refused or failed at, as the object of the refusal texts: the read, the write
// (for exception 3 the value written) or the command.
QString RefusedThing(Exchange exchange, bool value) {
  switch (exchange) {
    case Exchange::Read: return Pick("the read", "la lettura", "die Leseanforderung", "la lecture");
    case Exchange::Write:
      return value ? Pick("the value", "il valore", "den Wert", "la valeur")
                   : Pick("the write", "la scrittura", "die Schreibanforderung", "l'écriture");
    case Exchange::ReadThenWrite: break;
  }
  return Pick("the command", "il comando", "den Befehl", "la commande");
}

QString SendFailed(Exchange exchange) {
  switch (exchange) {
    case Exchange::Read:
      return Pick("The read request could not be sent: the serial port did not take it.",
                  "Impossibile inviare la richiesta di lettura: la porta seriale non l'ha accettata.",
                  "Die Leseanforderung konnte nicht gesendet werden: die serielle Schnittstelle hat sie nicht "
                  "angenommen.",
                  "La demande de lecture n'a pas pu être envoyée : le port série ne l'a pas acceptée.");
    case Exchange::Write:
      return Pick("The write request could not be sent: the serial port did not take it.",
                  "Impossibile inviare la richiesta di scrittura: la porta seriale non l'ha accettata.",
                  "Die Schreibanforderung konnte nicht gesendet werden: die serielle Schnittstelle hat sie nicht "
                  "angenommen.",
                  "La demande d'écriture n'a pas pu être envoyée : le port série ne l'a pas acceptée.");
    case Exchange::ReadThenWrite: break;
  }
  return Pick("The command could not be sent: the serial port did not take its request.",
              "Impossibile inviare il comando: la porta seriale non ha accettato la sua richiesta.",
              "Der Befehl konnte nicht gesendet werden: die serielle Schnittstelle hat seine Anforderung nicht "
              "angenommen.",
              "La commande n'a pas pu être envoyée : le port série n'a pas accepté sa demande.");
}

// No reply, or a damaged one; a read the drive refuses ends the same way (a write's refusal has
// its own result).
QString NoValidReply(Exchange exchange) {
  switch (exchange) {
    case Exchange::Read:
      return Pick("No valid reply from the drive to the read: no answer in time, a damaged reply, or the read "
                  "refused.",
                  "Nessuna risposta valida dall'inverter alla lettura: nessuna risposta in tempo, una risposta "
                  "corrotta o la lettura rifiutata.",
                  "Keine gültige Antwort des Umrichters auf die Leseanforderung: keine rechtzeitige Antwort, eine "
                  "fehlerhafte Antwort oder die Leseanforderung abgelehnt.",
                  "Aucune réponse valide du variateur à la lecture : pas de réponse à temps, une réponse altérée ou "
                  "la lecture refusée.");
    case Exchange::Write:
      return Pick("No valid reply from the drive to the write: no answer in time, or a damaged reply.",
                  "Nessuna risposta valida dall'inverter alla scrittura: nessuna risposta in tempo o una risposta "
                  "corrotta.",
                  "Keine gültige Antwort des Umrichters auf die Schreibanforderung: keine rechtzeitige Antwort oder "
                  "eine fehlerhafte Antwort.",
                  "Aucune réponse valide du variateur à l'écriture : pas de réponse à temps ou une réponse "
                  "altérée.");
    case Exchange::ReadThenWrite: break;
  }
  return Pick("No valid reply from the drive to the command (a read of its register, then a write): no answer in "
              "time, a damaged reply, or the read refused.",
              "Nessuna risposta valida dall'inverter al comando (una lettura del suo registro, poi una scrittura): "
              "nessuna risposta in tempo, una risposta corrotta o la lettura rifiutata.",
              "Keine gültige Antwort des Umrichters auf den Befehl (Lesen seines Registers, dann Schreiben): keine "
              "rechtzeitige Antwort, eine fehlerhafte Antwort oder das Lesen abgelehnt.",
              "Aucune réponse valide du variateur à la commande (une lecture de son registre, puis une écriture) : "
              "pas de réponse à temps, une réponse altérée ou la lecture refusée.");
}

}  // namespace

QString PortGone() {
  return Pick("The serial port is gone: its device reported an error (adapter unplugged, or the line closed at "
              "its other end). The link is closed; link again once the port is back.",
              "La porta seriale non è più disponibile: il suo dispositivo ha segnalato un errore (adattatore "
              "scollegato, o linea chiusa all'altro capo). Il collegamento è chiuso; ricollegare quando la porta è "
              "di nuovo disponibile.",
              "Die serielle Schnittstelle ist nicht mehr verfügbar: ihr Gerät hat einen Fehler gemeldet (Adapter "
              "abgezogen oder die Leitung am anderen Ende geschlossen). Die Verbindung ist getrennt; verbinden Sie "
              "erneut, sobald die Schnittstelle wieder verfügbar ist.",
              "Le port série a disparu : son périphérique a signalé une erreur (adaptateur débranché, ou ligne "
              "fermée à l'autre bout). La connexion est fermée ; reconnectez une fois le port revenu.");
}

QString TransactionFailure(core::TransactionResult result, Exchange exchange) {
  switch (result) {
    case core::kResultOk:
      return QString();
    case core::kResultSendFailed:
      return SendFailed(exchange);
    case core::kResultBadReply:
      return NoValidReply(exchange);
    case core::kResultWrongContent:
      // A read gives it for an identification whose object list does not hold together.
      if (exchange == Exchange::Read)
        return Pick("The drive's reply to the read did not hold what was asked for.",
                    "La risposta dell'inverter alla lettura non conteneva quanto richiesto.",
                    "Die Antwort des Umrichters auf die Leseanforderung enthielt nicht das Angeforderte.",
                    "La réponse du variateur à la lecture ne contenait pas ce qui était demandé.");
      return Pick("The drive's reply did not confirm what was written.",
                  "La risposta dell'inverter non ha confermato quanto scritto.",
                  "Die Antwort des Umrichters hat nicht bestätigt, was geschrieben wurde.",
                  "La réponse du variateur n'a pas confirmé ce qui a été écrit.");
    case core::kResultBadIndex:
      return Pick("The parameter is not in the document.", "Il parametro non è nel documento.",
                  "Der Parameter ist nicht im Dokument.", "Le paramètre n'est pas dans le document.");
    case core::kResultBadValue:
      return Pick("The value does not fit the parameter's register; nothing was sent.",
                  "Il valore non rientra nel registro del parametro; non è stato inviato nulla.",
                  "Der Wert passt nicht in das Register des Parameters; es wurde nichts gesendet.",
                  "La valeur ne tient pas dans le registre du paramètre ; rien n'a été envoyé.");
    case core::kResultBusy:
      return Pick("Another exchange with the drive was still running; nothing was sent.",
                  "Era ancora in corso un altro scambio con l'inverter; non è stato inviato nulla.",
                  "Ein anderer Austausch mit dem Umrichter lief noch; es wurde nichts gesendet.",
                  "Un autre échange avec le variateur était encore en cours ; rien n'a été envoyé.");
    case core::kResultPortFailed:
      return PortGone();
    default:
      break;
  }
  const QString thing = RefusedThing(exchange, result == core::kResultException + 3);
  switch (result) {
    case core::kResultException + 1:
      return Pick("The drive refused %1: illegal function (exception 1).",
                  "L'inverter ha rifiutato %1: funzione non valida (eccezione 1).",
                  "Der Umrichter hat %1 abgelehnt: unzulässige Funktion (Ausnahme 1).",
                  "Le variateur a refusé %1 : fonction non autorisée (exception 1).")
          .arg(thing);
    case core::kResultException + 2:
      return Pick("The drive refused %1: illegal data address (exception 2).",
                  "L'inverter ha rifiutato %1: indirizzo dati non valido (eccezione 2).",
                  "Der Umrichter hat %1 abgelehnt: unzulässige Datenadresse (Ausnahme 2).",
                  "Le variateur a refusé %1 : adresse de données non autorisée (exception 2).")
          .arg(thing);
    case core::kResultException + 3:
      return Pick("The drive refused %1: illegal data value (exception 3).",
                  "L'inverter ha rifiutato %1: valore dati non valido (eccezione 3).",
                  "Der Umrichter hat %1 abgelehnt: unzulässiger Datenwert (Ausnahme 3).",
                  "Le variateur a refusé %1 : valeur de données non autorisée (exception 3).")
          .arg(thing);
    case core::kResultException + 4:
      return Pick("The drive failed while acting on %1 (exception 4).",
                  "L'inverter ha avuto un guasto eseguendo %1 (eccezione 4).",
                  "Im Umrichter trat ein Fehler auf, während er %1 ausführte (Ausnahme 4).",
                  "Le variateur a subi une défaillance en exécutant %1 (exception 4).")
          .arg(thing);
    default:
      break;
  }
  if (result > core::kResultException)
    return Pick("The drive refused %1 (exception %2).", "L'inverter ha rifiutato %1 (eccezione %2).",
                "Der Umrichter hat %1 abgelehnt (Ausnahme %2).", "Le variateur a refusé %1 (exception %2).")
        .arg(thing)
        .arg(result - core::kResultException);
  return Pick("The exchange with the drive failed (result %1).",
              "Lo scambio con l'inverter non è riuscito (risultato %1).",
              "Der Austausch mit dem Umrichter ist fehlgeschlagen (Ergebnis %1).",
              "L'échange avec le variateur a échoué (résultat %1).")
      .arg(result);
}

QString ValueDoesNotFit(const QString& code, const QString& value, const QString& low, const QString& high) {
  return Pick("%1: the value %2 does not fit the parameter's register, which takes %3 to %4. Nothing was sent.",
              "%1: il valore %2 non rientra nel registro del parametro, che accetta da %3 a %4. Non è stato inviato "
              "nulla.",
              "%1: Der Wert %2 passt nicht in das Register des Parameters, das %3 bis %4 aufnimmt. Es wurde nichts "
              "gesendet.",
              "%1 : la valeur %2 ne tient pas dans le registre du paramètre, qui accepte de %3 à %4. Rien n'a été "
              "envoyé.")
      .arg(code, value, low, high);
}

QString WrittenValueReadBack(const QString& code, core::TransactionResult readResult, const QString& held,
                             bool holdsWritten) {
  if (readResult != core::kResultOk)
    return Pick("The drive may have done the write all the same: reading %1 back failed too, so the value the "
                "drive holds is unknown.",
                "L'inverter potrebbe aver eseguito comunque la scrittura: anche la rilettura di %1 non è riuscita, "
                "quindi il valore contenuto nell'inverter è sconosciuto.",
                "Der Umrichter hat den Wert möglicherweise trotzdem geschrieben: auch das Zurücklesen von %1 ist "
                "fehlgeschlagen, daher ist der Wert im Umrichter unbekannt.",
                "Le variateur a peut-être effectué l'écriture malgré tout : la relecture de %1 a échoué elle aussi, "
                "la valeur que contient le variateur est donc inconnue.")
        .arg(code);
  if (holdsWritten)
    return Pick("The drive may have done the write all the same: read back from the drive, %1 now holds %2, the "
                "value written.",
                "L'inverter potrebbe aver eseguito comunque la scrittura: riletto dall'inverter, %1 ora vale %2, il "
                "valore scritto.",
                "Der Umrichter hat den Wert möglicherweise trotzdem geschrieben: aus dem Umrichter zurückgelesen, "
                "hat %1 jetzt den Wert %2, den geschriebenen Wert.",
                "Le variateur a peut-être effectué l'écriture malgré tout : relu dans le variateur, %1 vaut "
                "maintenant %2, la valeur écrite.")
        .arg(code, held);
  return Pick("Read back from the drive, %1 holds %2, not the value written.",
              "Riletto dall'inverter, %1 vale %2, non il valore scritto.",
              "Aus dem Umrichter zurückgelesen, hat %1 den Wert %2, nicht den geschriebenen Wert.",
              "Relu dans le variateur, %1 vaut %2, et non la valeur écrite.")
      .arg(code, held);
}

QString ValueReadBack(const QString& code, core::TransactionResult readResult, const QString& held) {
  if (readResult != core::kResultOk) return WrittenValueReadBack(code, readResult, held, false);
  return Pick("The drive may have done the write all the same: read back from the drive, %1 now holds %2.",
              "L'inverter potrebbe aver eseguito comunque la scrittura: riletto dall'inverter, %1 ora vale %2.",
              "Der Umrichter hat den Wert möglicherweise trotzdem geschrieben: aus dem Umrichter zurückgelesen, "
              "hat %1 jetzt den Wert %2.",
              "Le variateur a peut-être effectué l'écriture malgré tout : relu dans le variateur, %1 vaut "
              "maintenant %2.")
      .arg(code, held);
}

QString RegisterName(int address) {
  return Pick("register %1", "il registro %1", "Register %1", "le registre %1").arg(address);
}

QString CoilName(int address) {
  return Pick("coil %1", "il coil %1", "Coil %1", "la bobine %1").arg(address);
}

QString ProfileName(int first) {
  return Pick("the profile (registers %1 to %2)", "il profilo (registri da %1 a %2)", "das Profil (Register %1 bis %2)",
              "le profil (registres %1 à %2)")
      .arg(first)
      .arg(first + 6);
}

QString MotorRecordName(int record) {
  return Pick("motor record %1", "il record motore %1", "Motordatensatz %1", "l'enregistrement moteur %1").arg(record);
}

QString WordsText(const std::vector<std::uint16_t>& words) {
  QStringList texts;
  for (std::uint16_t w : words) texts << QString::number(w);
  return texts.join(" ");
}

QString ValueUnknownHint() {
  return Pick("The drive's value is not known: a write of it was not confirmed and reading it back failed. Read the "
              "drive, or write the value again.",
              "Il valore nell'inverter non è noto: una sua scrittura non è stata confermata e la rilettura non è "
              "riuscita. Leggere l'inverter o scrivere di nuovo il valore.",
              "Der Wert im Umrichter ist unbekannt: ein Schreiben wurde nicht bestätigt und das Zurücklesen ist "
              "fehlgeschlagen. Lesen Sie den Umrichter oder schreiben Sie den Wert erneut.",
              "La valeur dans le variateur n'est pas connue : une écriture n'a pas été confirmée et la relecture a "
              "échoué. Lisez le variateur ou écrivez de nouveau la valeur.");
}

QString LinkFailure(core::TransactionResult result, int station) {
  if (result != core::kResultBadReply) return TransactionFailure(result, Exchange::Read);
  return Pick("Station %1 did not answer Link: no valid reply in time to the request for its identification.",
              "La stazione %1 non ha risposto al collegamento: nessuna risposta valida in tempo alla richiesta di "
              "identificazione.",
              "Station %1 hat auf das Verbinden nicht geantwortet: keine gültige Antwort rechtzeitig auf die Abfrage "
              "ihrer Identifikation.",
              "La station %1 n'a pas répondu à la connexion : aucune réponse valide à temps à la demande de son "
              "identification.")
      .arg(station);
}

QString WriteStopped(const QString& code, int station, core::TransactionResult result, int writtenHere, int total,
                     const std::vector<int>& stationsDone, const QString& readBack, bool valueUnknown) {
  QString text = valueUnknown ? Pick("Writing parameter %1 to station %2 was not confirmed.",
                                     "La scrittura del parametro %1 nella stazione %2 non è stata confermata.",
                                     "Das Schreiben von Parameter %1 in Station %2 wurde nicht bestätigt.",
                                     "L'écriture du paramètre %1 dans la station %2 n'a pas été confirmée.")
                              : Pick("Parameter %1 was not written to station %2.",
                                     "Il parametro %1 non è stato scritto nella stazione %2.",
                                     "Parameter %1 wurde nicht in Station %2 geschrieben.",
                                     "Le paramètre %1 n'a pas été écrit dans la station %2.");
  text = text.arg(code, QString::number(station));
  text += "\n" + TransactionFailure(result, Exchange::Write) + "\n";
  if (!readBack.isEmpty()) text += readBack + "\n";
  text += Pick("Already written to station %1: %2 of %3 parameters (they stay written).",
               "Già scritti nella stazione %1: %2 di %3 parametri (restano scritti).",
               "Bereits in Station %1 geschrieben: %2 von %3 Parametern (sie bleiben geschrieben).",
               "Déjà écrits dans la station %1 : %2 paramètres sur %3 (ils restent écrits).")
              .arg(station)
              .arg(writtenHere)
              .arg(total);
  if (!stationsDone.empty()) {
    QStringList done;
    for (int s : stationsDone) done << QString::number(s);
    text += "\n" + Pick("Written in full before: station %1.", "Scritte per intero in precedenza: stazione %1.",
                        "Zuvor vollständig geschrieben: Station %1.", "Écrites entièrement auparavant : station %1.")
                       .arg(done.join(", "));
  }
  return text;
}

QString PortOpenFailure(const core::PortOpenFailure& failure) {
  const QString path = failure.path.empty() ? Pick("(no device for this port number)",
                                                   "(nessun dispositivo per questo numero di porta)",
                                                   "(kein Gerät für diese Schnittstellennummer)",
                                                   "(aucun périphérique pour ce numéro de port)")
                                            : Qs(failure.path);
  const QString reason = failure.error.error != 0 ? QString(" (%1)").arg(QString::fromLocal8Bit(std::strerror(failure.error.error))) : "";
  // One pass over both arguments, so that a "%" in the path or the reason stays as it is.
  switch (failure.error.kind) {
    case platform::OpenFailure::Missing:
      return Pick("%1: no such device%2; is the adapter plugged in?",
                  "%1: dispositivo inesistente%2; l'adattatore è collegato?",
                  "%1: kein solches Gerät%2; ist der Adapter eingesteckt?",
                  "%1 : périphérique inexistant%2 ; l'adaptateur est-il branché ?")
          .arg(path, reason);
    case platform::OpenFailure::Busy:
      return Pick("%1: the port is in use by another program%2.",
                  "%1: la porta è in uso da parte di un altro programma%2.",
                  "%1: die Schnittstelle wird von einem anderen Programm benutzt%2.",
                  "%1 : le port est utilisé par un autre programme%2.")
          .arg(path, reason);
    case platform::OpenFailure::NoPermission:
      return Pick("%1: no permission to use the port%2; add your user to the dialout group (sudo adduser $USER "
                  "dialout) and log in again.",
                  "%1: nessun permesso di usare la porta%2; aggiungere il proprio utente al gruppo dialout (sudo "
                  "adduser $USER dialout) e accedere di nuovo.",
                  "%1: keine Berechtigung für die Schnittstelle%2; fügen Sie Ihren Benutzer der Gruppe dialout hinzu "
                  "(sudo adduser $USER dialout) und melden Sie sich neu an.",
                  "%1 : pas d'autorisation d'utiliser le port%2 ; ajoutez votre utilisateur au groupe dialout (sudo "
                  "adduser $USER dialout) et reconnectez-vous à votre session.")
          .arg(path, reason);
    case platform::OpenFailure::NotSerial:
      return Pick("%1: not a serial port%2.", "%1: non è una porta seriale%2.", "%1: keine serielle Schnittstelle%2.",
                  "%1 : ce n'est pas un port série%2.")
          .arg(path, reason);
    case platform::OpenFailure::Settings:
      return Pick("%1: the port refused the line settings%2.",
                  "%1: la porta ha rifiutato le impostazioni della linea%2.",
                  "%1: die Schnittstelle hat die Leitungseinstellungen abgelehnt%2.",
                  "%1 : le port a refusé les paramètres de ligne%2.")
          .arg(path, reason);
    case platform::OpenFailure::Other:
    case platform::OpenFailure::None:
      break;
  }
  return Pick("%1: the port could not be opened%2.", "%1: impossibile aprire la porta%2.",
              "%1: die Schnittstelle konnte nicht geöffnet werden%2.", "%1 : le port n'a pas pu être ouvert%2.")
      .arg(path, reason);
}

QString ParameterAndCompareFilesFilter() {
  return "Parameter & Compare Files|*.par;*.cmp|Parameter Files|*.par|Compare Files|*.cmp";
}
QString ParameterFilesFilter() { return "Parameter Files|*.par"; }
QString CompareFilesFilter() { return "Compare Files|*.cmp"; }
QString ExcelFilesFilter() { return "Excel Files|*.xls"; }

QString FileButton(int n) { return QString("File %1...").arg(n); }

QString NotADocumentFile() {
  return Pick("Not a parameter (*.par) or compare (*.cmp) file:",
              "Non è un file di parametri (*.par) né di confronto (*.cmp):",
              "Weder eine Parameterdatei (*.par) noch eine Vergleichsdatei (*.cmp):",
              "Ni un fichier de paramètres (*.par) ni un fichier de comparaison (*.cmp) :");
}
QString DocumentUnreadable() {
  return Pick("The file could not be read as a document:", "Impossibile leggere il file come documento:",
              "Die Datei konnte nicht als Dokument gelesen werden:", "Le fichier n'a pas pu être lu comme document :");
}
QString ModelNotConfigured(const QString& model) {
  return Pick("The document is of model %1, which this configuration does not hold:",
              "Il documento è del modello %1, che questa configurazione non contiene:",
              "Das Dokument ist vom Modell %1, das diese Konfiguration nicht enthält:",
              "Le document est du modèle %1, que cette configuration ne contient pas :")
      .arg(model);
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
  return Pick("The drive ended the monitor session after the command; the link is closed. Link again when the "
              "drive is ready.",
              "L'inverter ha chiuso la sessione di monitoraggio dopo il comando; il collegamento è chiuso. "
              "Ricollegare quando l'inverter è pronto.",
              "Der Umrichter hat die Überwachung nach dem Befehl beendet; die Verbindung ist getrennt. Verbinden "
              "Sie erneut, wenn der Umrichter bereit ist.",
              "Le variateur a mis fin à la surveillance après la commande ; la connexion est fermée. Reconnectez "
              "quand le variateur est prêt.");
}

QString MotorRecordNotWritten(int record, core::TransactionResult result) {
  QString text = Pick("Motor record %1 was not written.", "Il record motore %1 non è stato scritto.",
                      "Motordatensatz %1 wurde nicht geschrieben.", "L'enregistrement moteur %1 n'a pas été écrit.")
                     .arg(record);
  text += " " + TransactionFailure(result, Exchange::Write);
  if (record > 1)
    text += " " + Pick("Records 1 to %1 are in the drive.", "I record da 1 a %1 sono nell'inverter.",
                       "Die Datensätze 1 bis %1 sind im Umrichter.", "Les enregistrements 1 à %1 sont dans le variateur.")
                      .arg(record - 1);
  return text;
}

std::string FileStepWords(platform::FileStep step) {
  using platform::FileStep;
  QString words;
  switch (step) {
    case FileStep::Create:
      words = Pick("Cannot create", "Impossibile creare", "Fehler beim Erstellen von", "Impossible de créer");
      break;
    case FileStep::Write:
      words = Pick("Cannot write", "Impossibile scrivere", "Fehler beim Schreiben von", "Impossible d'écrire");
      break;
    case FileStep::Replace:
      words = Pick("Cannot replace", "Impossibile sostituire", "Fehler beim Ersetzen von", "Impossible de remplacer");
      break;
    case FileStep::FlushFolder:
      words = Pick("Cannot flush the folder of", "Impossibile scaricare su disco la cartella di",
                   "Fehler beim Sichern des Ordners von", "Impossible de vider sur disque le dossier de");
      break;
    case FileStep::Open:
      words = Pick("Cannot open", "Impossibile aprire", "Fehler beim Öffnen von", "Impossible d'ouvrir");
      break;
    case FileStep::Read:
      words = Pick("Cannot read", "Impossibile leggere", "Fehler beim Lesen von", "Impossible de lire");
      break;
    case FileStep::NoFileName:
      words = Pick("No file name given", "Nessun nome di file indicato", "Kein Dateiname angegeben",
                   "Aucun nom de fichier indiqué");
      break;
    case FileStep::NotRegularFile:
      words = Pick("Not a regular file:", "Non è un file normale:", "Keine normale Datei:", "Pas un fichier ordinaire :");
      break;
    case FileStep::TooLarge:
      words = Pick("File too large:", "File troppo grande:", "Datei zu groß:", "Fichier trop volumineux :");
      break;
  }
  return words.toStdString();
}

QString PreviewCommand(PreviewText text) {
  switch (text) {
    case PreviewText::Print: return Pick("Print...", "Stampa...", "Drucken...", "Imprimer...");
    case PreviewText::SaveAsPdf:
      return Pick("Save as PDF...", "Salva come PDF...", "Als PDF speichern...", "Enregistrer en PDF...");
    case PreviewText::ZoomIn: return Pick("Zoom In", "Ingrandisci", "Vergrößern", "Zoom avant");
    case PreviewText::ZoomOut: return Pick("Zoom Out", "Riduci", "Verkleinern", "Zoom arrière");
    case PreviewText::FitWidth:
      return Pick("Fit Width", "Adatta alla larghezza", "An Breite anpassen", "Ajuster à la largeur");
    case PreviewText::FirstPage: return Pick("First Page", "Prima pagina", "Erste Seite", "Première page");
    case PreviewText::PriorPage: return Pick("Previous Page", "Pagina precedente", "Vorherige Seite", "Page précédente");
    case PreviewText::NextPage: return Pick("Next Page", "Pagina successiva", "Nächste Seite", "Page suivante");
    case PreviewText::LastPage: return Pick("Last Page", "Ultima pagina", "Letzte Seite", "Dernière page");
    case PreviewText::Close: return Pick("Close", "Chiudi", "Schließen", "Fermer");
    case PreviewText::NotPrinted:
      return Pick("The report could not be printed.", "Impossibile stampare il rapporto.",
                  "Der Bericht konnte nicht gedruckt werden.", "Le rapport n'a pas pu être imprimé.");
    case PreviewText::PdfNotSaved:
      return Pick("The PDF file could not be saved:", "Impossibile salvare il file PDF:",
                  "Die PDF-Datei konnte nicht gespeichert werden:", "Le fichier PDF n'a pas pu être enregistré :");
  }
  return QString();
}

}  // namespace ui::extra
