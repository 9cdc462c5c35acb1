// Wide-string support in real Qt windows: menu hints reach the main window's status bar by way
// of the application's hint, wide typed characters pass the message hook, start-up and
// shut-down are counted, and setting changes ticked.
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "controls/widestring/wide_application.h"
#include "controls/widestring/wide_menus.h"
#include "platform/window_atoms.h"

using namespace widestring;

class HintTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { StartWideStringSupport(); }
  void cleanup() { StopWideStringSupport(); }

  // A menu item keeps its own caption while it matches the action's with hot keys stripped; a
  // trailing "(&F)" is a hot key in a Japanese locale and text in the C locale.
  void menuItemsTakeActionTextsByTheLocale() {
    const QString file = QString::fromUtf8("ファイル");
    for (const char* locale : {"ja_JP.UTF-8", "C"}) {
      qputenv("LC_ALL", locale);
      QAction action(file), item(file + "(&F)");
      action.setStatusTip("Opens a file");
      TakeActionTexts(&item, &action);
      QCOMPARE(item.text(), QString(locale) == "C" ? file : file + "(&F)");
      QCOMPARE(item.statusTip(), QString("Opens a file"));
    }
    qunsetenv("LC_ALL");
  }

  void menuHintsReachTheStatusBar() {
    QMainWindow window;
    window.statusBar();
    QMenu* file = window.menuBar()->addMenu("&Файл");
    QAction* open = file->addAction("&Открыть…");
    SetWideHint(open, "Открыть|Открывает файл параметров – 日本語 Ελληνικά");
    QAction* plain = file->addAction("Без подсказки");
    QMenu* recent = file->addMenu("Недавние");
    QAction* first = recent->addAction("1 Привод.par");
    SetWideHint(first, "Öffnet die Datei 😀");
    WidePopupList()->Add(window.menuBar());
    QCOMPARE(WidePopupList()->Count(), 3);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy hints(WideApplication(), &TWideApplication::HintChanged);
    QSignalSpy shown(window.statusBar(), &QStatusBar::messageChanged);

    // Opened from the menu bar, as the user opens it.
    window.menuBar()->setActiveAction(file->menuAction());
    QVERIFY(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(open);
    // The long part of the hint, once, and not Qt's own whole status tip.
    QCOMPARE(window.statusBar()->currentMessage(), QString("Открывает файл параметров – 日本語 Ελληνικά"));
    QCOMPARE(WideApplication()->Hint(), window.statusBar()->currentMessage());
    QCOMPARE(hints.count(), 1);
    QCOMPARE(shown.count(), 1);

    // The keyboard: down to the item without a hint clears it; into the sub-menu.
    QTest::keyClick(file, Qt::Key_Down);
    QCOMPARE(file->activeAction(), plain);
    QCOMPARE(window.statusBar()->currentMessage(), QString());
    file->setActiveAction(recent->menuAction());
    QTest::keyClick(file, Qt::Key_Right);
    QVERIFY(QTest::qWaitForWindowExposed(recent));
    recent->setActiveAction(first);
    QCOMPARE(window.statusBar()->currentMessage(), QString("Öffnet die Datei 😀"));

    // Closing the menu ends the hint.
    file->hide();
    QCOMPARE(WideApplication()->Hint(), QString());
    QCOMPARE(window.statusBar()->currentMessage(), QString());

    // Control hints: the short part is the tool tip, the long part the status tip and the
    // application's hint; a control without one has its parent's.
    auto* edit = new QLineEdit(&window);
    window.setCentralWidget(edit);
    SetWideControlHint(&window, "Окно|Главное окно");
    QCOMPARE(edit->toolTip(), QString());
    QCOMPARE(WideControlHintUp(edit), QString("Окно|Главное окно"));
    WideApplication()->HintRefresh(edit);
    QCOMPARE(window.statusBar()->currentMessage(), QString("Главное окно"));
    window.setToolTip("Другое");  // changed behind the hint's back
    QCOMPARE(WideControlHint(&window), QString("Другое|Главное окно"));
  }

  // The hint of the control under the mouse is read at each idle: a hint that changes while the
  // mouse rests on its control reaches the status bar, and a tool tip alone shows again after
  // Qt cleared the status tip of the widget the mouse had left.
  void controlHintsAreReadAtEachIdle() {
    QMainWindow window;
    window.statusBar();
    auto* central = new QWidget(&window);
    auto* a = new QLineEdit(central);
    auto* b = new QLineEdit(central);
    b->move(0, 50);
    a->setStatusTip("Status of A");
    b->setToolTip("Tip of B");
    window.setCentralWidget(central);
    window.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // At the idle the event loop signals, with the mouse on `w`: what the status bar shows.
    auto idleOn = [&](QWidget* w) {
      QCursor::setPos(w->mapToGlobal(w->rect().center()));
      emit QAbstractEventDispatcher::instance()->aboutToBlock();
      return window.statusBar()->currentMessage();
    };
    QCOMPARE(idleOn(b), QString("Tip of B"));
    SetWideControlHint(b, "B|Changed while resting on B");
    QCOMPARE(idleOn(b), QString("Changed while resting on B"));
    // Straight from A to B; the idle sees B before Qt's leave of A clears A's status tip.
    QCOMPARE(idleOn(a), QString("Status of A"));
    idleOn(b);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(a, &leave);
    QCOMPARE(window.statusBar()->currentMessage(), QString());  // as Qt left it
    QCOMPARE(idleOn(b), QString("Changed while resting on B"));
  }

  void wideCharactersPassTheHook() {
    QLineEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    edit.setFocus();
    QStringList offered;
    bool keep = false;
    WideApplication()->OnMessage = [&](QObject*, const QString& text, bool& handled) {
      offered << text;
      handled = keep;
    };
    // Below 256: not offered.
    QTest::keyClick(&edit, Qt::Key_A);
    QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString("é"), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString("Ж"), Qt::NoModifier);
    QCOMPARE(offered, QStringList{"Ж"});
    QCOMPARE(edit.text(), QString("aéЖ"));
    keep = true;
    QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, QString("😀"), Qt::NoModifier);
    QCOMPARE(offered.size(), 2);
    QCOMPARE(edit.text(), QString("aéЖ"));
    // Text an input method commits (dead acute, then c) is offered as a typed character is.
    auto inputMethod = [&](const QString& preedit, const QString& commit) {
      QInputMethodEvent e(preedit, {});
      e.setCommitString(commit);
      QApplication::sendEvent(&edit, &e);
    };
    keep = false;
    inputMethod("´", "");
    inputMethod("", "ć");
    inputMethod("", "é");
    QCOMPARE(offered, (QStringList{"Ж", "😀", "ć"}));
    QCOMPARE(edit.text(), QString("aéЖćé"));
    keep = true;
    inputMethod("", "ć");
    QCOMPARE(edit.text(), QString("aéЖćé"));
    WideApplication()->OnMessage = nullptr;
  }

  void startUpAndShutDownAreCounted() {
    TWideApplication* app = WideApplication();
    const std::uint16_t atom = WindowAtom();
    QVERIFY(atom >= 0xC000);
    QVERIFY(ControlAtom() >= 0xC000 && ControlAtom() != atom);
    QVERIFY(QString::fromStdString(ControlAtomName()).startsWith("ControlOfs"));
    QCOMPARE(QString::fromStdString(ControlAtomName()).size(), 26);
    QCOMPARE(platform::GlobalGetAtomNameA(atom), WindowAtomName());
    QCOMPARE(DestroyWindowMessage(), platform::RegisterWindowMessageA("widestringsupport.destroywindow"));
    StartWideStringSupport();  // a second start-up changes nothing
    QCOMPARE(WideApplication(), app);
    StopWideStringSupport();
    QCOMPARE(WideApplication(), app);
    StopWideStringSupport();
    QVERIFY(!WideApplication());
    QCOMPARE(platform::GlobalGetAtomNameA(atom), std::string());
    StartWideStringSupport();  // for cleanup()

    WideApplication()->SetTitle("Служебная программа");
    QCOMPARE(WideApplication()->Title(), QString("Служебная программа"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QString("Служебная программа"));
  }

  // A change of the settings ticks the object and the global copy alike.
  void settingChangesAreTicked() {
    TWideApplication* app = WideApplication();
    QCOMPARE(LastSettingChangeTick(), app->LastSettingChangeTick);
    const std::int64_t created = app->LastSettingChangeTick;
    QTest::qSleep(2);  // a later tick
    const QFont font = QApplication::font();
    QApplication::setFont(QFont(font.family(), font.pointSize() + 3));
    QApplication::setFont(font);
    QVERIFY(app->LastSettingChangeTick > created);
    QCOMPARE(LastSettingChangeTick(), app->LastSettingChangeTick);
  }
};

QTEST_MAIN(HintTest)
#include "hint_test.moc"
