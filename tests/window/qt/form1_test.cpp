#include "window/qt/form1.h"

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <qpa/qwindowsysteminterface.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>

#include "grid/fields.h"
#include "support/test_files.h"
#include "window/qt/application.h"
#include "window/qt/messages.h"
#include "window/shared/command_line.h"
#include "window/shared/window_cases.h"

namespace window {
namespace {

const QByteArray kHeader(testing_support::kGridHeader.data(), testing_support::kGridHeader.size());

// What a modal box showed before the watcher pressed its OK.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  int buttons;
  QFont font;
};

// Answers every modal box the window opens, from a timer, so that no test waits for a person.
// Message boxes are recorded and confirmed; a run's progress dialog is handed to `on_progress`.
class ModalWatcher {
 public:
  ModalWatcher() {
    timer_.setInterval(0);  // due at every pass of any event loop, also a run's
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start();
  }
  std::function<void(QProgressDialog*)> on_progress;
  std::function<void(QMessageBox*)> on_box;  // before it is confirmed
  QString answer = QStringLiteral("Write");  // to Run's question
  bool enter = false;                        // or Enter on any box, as from the keyboard
  QList<SeenBox> boxes;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      // A rich-text box is recorded as the text it shows.
      const QString text = box->textFormat() == Qt::RichText
                               ? QTextDocumentFragment::fromHtml(box->text()).toPlainText()
                               : box->text();
      boxes.append({box->windowTitle(), text, box->icon(), static_cast<int>(box->buttons().size()),
                    box->font()});
      if (on_box) {
        on_box(box);
      }
      if (enter) {
        QTest::keyClick(box, Qt::Key_Return);  // the default button
        return;
      }
      // Run's question has no OK: it is answered with `answer`'s button.
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      for (QAbstractButton* button : box->buttons()) {
        ok = ok ? ok : button->text() == answer ? button : nullptr;
      }
      ok->click();
      return;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* progress = qobject_cast<QProgressDialog*>(window);
      if (progress && progress->isVisible() && on_progress) {
        on_progress(progress);
        return;
      }
    }
  }
  QTimer timer_;
};

using testing_support::WorkingFolder;

// A path as Qt holds it.
QString FromPath(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

// Words as the grid tables write them: separated by blanks, a double-quoted one as it is inside
// its quotes, "" an empty one.
QStringList ShellWords(const QString& line) {
  QStringList words;
  bool quoted = false;
  bool in_word = false;
  for (const QChar c : line) {
    if (c == '"') {
      quoted = !quoted;
      if (!in_word) {
        words << QString();
        in_word = true;
      }
    } else if (c == ' ' && !quoted) {
      in_word = false;
    } else {
      if (!in_word) {
        words << QString();
        in_word = true;
      }
      words.last() += c;
    }
  }
  return words;
}

QByteArray ReadGrid() {
  QFile file(QStringLiteral("newgrid.txt"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void WriteGrid(const QByteArray& bytes) {
  QFile file(QStringLiteral("newgrid.txt"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

// The longest time the window's event loop went without turning while it was watched.
class LoopWatch {
 public:
  LoopWatch() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { longest_ = std::max(longest_, since_.restart()); });
    since_.start();
    timer_.start();
  }
  qint64 longestMs() const { return std::max(longest_, since_.elapsed()); }

 private:
  QTimer timer_;
  QElapsedTimer since_;
  qint64 longest_ = 0;
};

// Counts the close events a window accepted: a window that was closed, not merely hidden, ends
// the program once the event loop sees it was the last.
class CloseSpy : public QObject {
 public:
  explicit CloseSpy(QWidget* window) : window_(window) { window->installEventFilter(this); }
  int closed() const { return closes_ > 0 && !window_->isVisible() ? 1 : 0; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    closes_ += event->type() == QEvent::Close ? 1 : 0;
    return false;
  }

 private:
  QWidget* window_;
  int closes_ = 0;
};

// The disk stand-in preloaded into these tests (slow_disk) takes this much longer to sync, or to
// write each buffer (a stalled network drive), for one test.
class SlowDisk {
 public:
  explicit SlowDisk(int milliseconds, const char* call = "SYNC")
      : variable_(QByteArray("TESSAPLAN_TEST_") + call + "_DELAY_MS") {
    qputenv(variable_.constData(), QByteArray::number(milliseconds));
  }
  ~SlowDisk() { qunsetenv(variable_.constData()); }
  SlowDisk(const SlowDisk&) = delete;
  SlowDisk& operator=(const SlowDisk&) = delete;

 private:
  QByteArray variable_;
};

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private:
  QLineEdit* field(int number) {
    return form_->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(number));
  }
  QPushButton* button(const char* name) {
    return form_->findChild<QPushButton*>(QLatin1String(name));
  }
  void Type(const QStringList& texts) {
    for (int i = 0; i < texts.size(); ++i) {
      field(i + 1)->clear();
      QTest::keyClicks(field(i + 1), texts[i]);
    }
  }
  // A run is under way while Run does not work.
  bool Running() { return !button("Command2")->isEnabled(); }
  // Presses Run and waits until the run is over and any box it showed is answered.
  void RunAndWait() {
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Running(), 20000);
  }
  QStringList Texts() {
    QStringList texts;
    for (int i = 1; i <= 5; ++i) {
      texts << field(i)->text();
    }
    return texts;
  }

  Form1* form_ = nullptr;

 private slots:
  void initTestCase() { DescribeApplication(); }
  void init() {
    form_ = new Form1;
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
  }
  void cleanup() {
    delete form_;
    form_ = nullptr;
    QVERIFY(QApplication::topLevelWidgets().isEmpty());  // no box or dialog left behind
  }

  void version() {
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tessaplan"));
  }

  void geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");  // a field's accessible name
    QTest::addColumn<QRect>("pixels");     // at 96 DPI, 15 twips a pixel
    for (const cases::PlacedControl& c : cases::kControlsAt96Dpi) {
      QTest::newRow(c.name) << QString::fromLatin1(c.name) << QString::fromLatin1(c.caption)
                            << QRect(c.left, c.top, c.width, c.height);
    }
  }

  // Every control where the layout puts it, its caption whole and unclipped in the window's font,
  // and every field named for a screen reader by its caption.
  void geometry() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, pixels);
    auto* control = form_->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(form_->screen()->logicalDotsPerInch(), 96.0);
    QCOMPARE(control->geometry(), pixels);

    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
      QCOMPARE(label->text(), caption);
      QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
      const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
      const QRect needed = metrics.boundingRect(label->contentsRect(), flags, caption);
      QVERIFY2(label->contentsRect().contains(needed),
               qPrintable(QStringLiteral("needs %1x%2").arg(needed.width()).arg(needed.height())));
    } else if (auto* push = qobject_cast<QPushButton*>(control)) {
      QCOMPARE(push->text(), caption);
      QVERIFY(metrics.horizontalAdvance(caption) + 8 <= push->width());  // room for the frame
      QVERIFY(!push->isDefault());
      QVERIFY(!push->autoDefault());
    } else {
      auto* edit = qobject_cast<QLineEdit*>(control);
      QVERIFY(edit);
      QVERIFY(edit->text().isEmpty());
      QVERIFY(metrics.height() < edit->height());
      QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), caption);
    }
  }

  void window() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("Form1"));
    const QSize client(417, 334);  // 6255 by 5010 twips at 96 DPI
    QCOMPARE(form_->size(), client);
    QCOMPARE(form_->minimumSize(), client);  // not resizable
    QCOMPARE(form_->maximumSize(), client);
    // so the frame offers minimize and close, and no maximize that would do nothing
    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(QFontInfo(form_->font()).family(), QStringLiteral("Liberation Sans"));
    QVERIFY(!form_->windowIcon().pixmap(32).isNull());
    QCOMPARE(form_->font().pointSize(), 8);
    // A window to a screen reader (a frame over AT-SPI), which announces its title.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(form_);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::Window);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Form1"));
  }

  void tabOrder() {
    QCOMPARE(form_->focusWidget(), field(1));
    QStringList expected;
    for (const char* name : cases::kTabOrder) {
      expected << QString::fromLatin1(name);
    }
    QStringList order;
    QWidget* widget = field(1);
    for (int i = 0; i < expected.size(); ++i) {
      order << widget->objectName();
      widget = widget->nextInFocusChain();
      while (widget->focusPolicy() == Qt::NoFocus) {
        widget = widget->nextInFocusChain();  // labels never take the focus
      }
    }
    QCOMPARE(order, expected);
    for (auto* label : form_->findChildren<QLabel*>()) {
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    }
  }

  void runWritesTheGrid_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("grid");
    QTest::addColumn<int>("asked");  // Run's question, before a grid that loses something
    QTest::newRow("two by three")
        << QLocale::c() << QStringList{"0", "400", "0", "200", "200"}
        << kHeader +
               "0,0,\"r1c1\"\r\n0,200,\"r2c1\"\r\n200,0,\"r1c2\"\r\n"
               "200,200,\"r2c2\"\r\n400,0,\"r1c3\"\r\n400,200,\"r2c3\"\r\n"
        << 0;
    QTest::newRow("comma locale") << QLocale(QLocale::German, QLocale::Germany)
                                  << QStringList{"2,5", "2,5", "-0,25", "-0,25", "1"}
                                  << kHeader + "2.5,-0.25,\"r1c1\"\r\n"
                                  << 0;
    QTest::newRow("header only") << QLocale::c() << QStringList{"0", "400", "200", "0", "200"}
                                 << kHeader << 1;
  }

  // Run writes the file from the typed texts and shows nothing, unless it asks first.
  void runWritesTheGrid() {
    QFETCH(QLocale, locale);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, grid);
    QFETCH(int, asked);
    WorkingFolder directory;
    ModalWatcher watcher;
    form_->setLocale(locale);
    Type(texts);
    RunAndWait();
    QCOMPARE(ReadGrid(), grid);
    QCOMPARE(watcher.boxes.size(), asked);
    QCOMPARE(directory.Entries(), std::vector<std::string>{"newgrid.txt"});
    QCOMPARE(Texts(), texts);
  }

  // The window and the command line write the same bytes and say the same, over the grid
  // tables (tests/grid_cases.txt); the decimal separator comes from the window's locale.
  void sameAsTheCommandLine_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("texts");
    QFile cases(qEnvironmentVariable("TESSAPLAN_GRID_CASES"));
    QVERIFY2(cases.open(QIODevice::ReadOnly), "TESSAPLAN_GRID_CASES names no file");
    for (const QString& line : QString::fromUtf8(cases.readAll()).split('\n')) {
      if (!line.isEmpty() && !line.startsWith('#')) {
        const QStringList parts = line.split('|');
        QTest::newRow(qPrintable(parts[1])) << ShellWords(parts[0]) << ShellWords(parts[1]);
      }
    }
  }

  void sameAsTheCommandLine() {
    QFETCH(QStringList, options);
    QFETCH(QStringList, texts);
    WorkingFolder directory;
    QProcess command;
    command.setWorkingDirectory(QDir::currentPath());
    command.start(qEnvironmentVariable("TESSAPLAN_GRID"), QStringList{options} << "--output=-"
                                                                               << "--" << texts);
    QVERIFY(command.waitForFinished(60000));
    const QByteArray bytes = command.readAllStandardOutput();
    // What the file loses, said before a run, is the tooltip's on the window.
    QStringList warnings;
    QStringList said_lines;
    for (const QString& line :
         QString::fromUtf8(command.readAllStandardError()).trimmed().split('\n')) {
      (line.startsWith("warning: ") ? warnings : said_lines)
          << line.mid(line.startsWith("warning: ") ? 9 : 0);
    }
    const QString said = said_lines.join('\n');
    ModalWatcher watcher;
    form_->setLocale(options.contains("--decimal-separator=,")
                         ? QLocale(QLocale::German, QLocale::Germany)
                         : QLocale::c());
    // A snapped grid is the window's for the extent --dry-run says it uses.
    QStringList typed = texts;
    if (options.filter(QStringLiteral("--snap=")).size() == 1) {
      QProcess dry_run;
      dry_run.start(qEnvironmentVariable("TESSAPLAN_GRID"), QStringList{options} << "--dry-run"
                                                                                 << "--" << texts);
      QVERIFY(dry_run.waitForFinished(60000));
      const QRegularExpressionMatch extent =
          QRegularExpression(QStringLiteral("^extent (\\S+),(\\S+),(\\S+),(\\S+) \\(snapped"),
                             QRegularExpression::MultilineOption)
              .match(QString::fromUtf8(dry_run.readAllStandardOutput()));
      QVERIFY(extent.hasMatch());
      typed = {extent.captured(1), extent.captured(2), extent.captured(3), extent.captured(4),
               texts[4]};
    }
    Type(typed);
    // Run's description tells a refusal as the box will, then what the file loses.
    QStringList told = warnings;
    if (command.exitCode() != 0) {
      told.prepend("Run will stop: " + said);
    }
    QCOMPARE(
        form_->findChild<QPushButton*>(QStringLiteral("Command2"))->toolTip().split('\n').mid(1),
        told);
    RunAndWait();
    if (command.exitCode() == 0) {
      // Asked first where the grid differs from the fields, with the warnings' sentences.
      QCOMPARE(watcher.boxes.size(), warnings.isEmpty() ? 0 : 1);
      if (!warnings.isEmpty()) {
        QCOMPARE(watcher.boxes[0].text, "The grid will not be exactly what the fields say:\n\n" +
                                            warnings.join('\n') + "\n\nWrite it anyway?");
      }
      QCOMPARE(ReadGrid(), bytes);
    } else {
      QCOMPARE(watcher.boxes.size(), 1);
      QCOMPARE(watcher.boxes[0].text.replace(":\n\n", ": "), said);
      // Then the focus is in the field the box names first, its text selected to be typed over;
      // where it names none, the counts are at fault: Grid Spacing.
      int named = 5;
      qsizetype first = said.size();
      for (int i = 1; i <= 5; ++i) {
        const qsizetype at =
            said.indexOf('"' + QString::fromLatin1(grid::kFieldTable[i - 1].caption) + '"');
        if (at >= 0 && at < first) {
          first = at;
          named = i;
        }
      }
      QCOMPARE(form_->focusWidget(), field(named));
      QCOMPARE(field(named)->selectedText(), field(named)->text());
    }
  }

  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");    // -1: the window opens
    QTest::addColumn<QString>("said");  // the start of what goes to standard output or error
    // clang-format off
    QTest::newRow("none") << QStringList{} << -1 << "";
    QTest::newRow("help") << QStringList{"--version", "-h"} << 0 << "Usage: tessaplan [--help] [--version]\n";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "tessaplan 1.00\n";
    QTest::newRow("end of options alone") << QStringList{"--"} << -1 << "";
    QTest::newRow("an option after the end of options") << QStringList{"--", "--help"} << 2 << "tessaplan: takes no arguments, not '--help' (see tessaplan --help)\n";
    QTest::newRow("unknown option, as typed") << QStringList{"--bogus"} << 2 << "tessaplan: Unknown option '--bogus' (see tessaplan --help)\n";
    QTest::newRow("dashes alone") << QStringList{"---"} << 2 << "tessaplan: Unknown option '---' (see tessaplan --help)\n";
    QTest::newRow("an argument") << QStringList{"grid.txt"} << 2 << "tessaplan: takes no arguments, not 'grid.txt' (see tessaplan --help)\n";
    // clang-format on
  }

  // The command line is answered without a window, and nothing on it ends the program badly.
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    std::vector<std::string> typed{"tessaplan"};
    for (const QString& argument : arguments) {
      typed.push_back(argument.toStdString());
    }
    const CommandLineAnswer answer = AnswerCommandLine(typed);
    QCOMPARE(answer.status, status);
    QVERIFY2(QString::fromStdString(answer.output + answer.error).startsWith(said),
             (answer.output + answer.error).c_str());
  }

  void runTwiceReplacesTheFile() {
    WorkingFolder directory;
    Type({"0", "400", "0", "200", "200"});
    RunAndWait();
    const QByteArray first = ReadGrid();
    RunAndWait();
    QCOMPARE(ReadGrid(), first);
    Type({"0", "0", "0", "0", "1"});
    RunAndWait();
    QCOMPARE(ReadGrid(), kHeader + "0,0,\"r1c1\"\r\n");
  }

  void errorBoxKeepsTheWindow_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("text");
    QTest::newRow("all empty") << QStringList{"", "", "", "", ""}
                               << "Run-time error 1:\n\nType mismatch: \"Minimum x value\" is "
                                  "empty; enter a number.";
    QTest::newRow("zero spacing")
        << QStringList{"0", "400", "0", "200", "0"}
        << "Run-time error 3:\n\nDivision by zero: \"Grid Spacing\" is 0 (any spacing from -0.5 "
           "to 0.5 rounds to 0); enter a whole number other than 0.";
    QTest::newRow("too many columns")
        << QStringList{"0", "32767", "0", "0", "1"}
        << "Run-time error 2:\n\nOverflow: the x values span 32767 grid spacings or more, and a "
           "grid has at most 32767 columns; enter a larger \"Grid Spacing\" or a smaller range.";
    QTest::newRow("markup in a field")
        << QStringList{"<b>1</b>", "1", "1", "1", "1"}
        << "Run-time error 1:\n\nType mismatch: \"Minimum x value\" is not a number: "
           "\"<b>1</b>\". Enter digits, with '.' before any decimal places.";
  }

  // A bad value costs nothing: one box, then the window as it was, the old file untouched.
  void errorBoxKeepsTheWindow() {
    QFETCH(QStringList, texts);
    QFETCH(QString, text);
    WorkingFolder directory;
    WriteGrid("the previous grid");
    ModalWatcher watcher;
    Type(texts);
    RunAndWait();
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("tessaplan"));
    QCOMPARE(watcher.boxes[0].text, text);
    QCOMPARE(watcher.boxes[0].font, form_->font());
    QCOMPARE(watcher.boxes[0].buttons, 1);
    QVERIFY(form_->isVisible());
    QCOMPARE(Texts(), texts);
    QCOMPARE(ReadGrid(), QByteArray("the previous grid"));
    QCOMPARE(directory.Entries(), std::vector<std::string>{"newgrid.txt"});
  }

  void messages_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");  // "%1" stands for the current folder
    QTest::newRow("Help") << "Command1"
                          << "This code will generate a regularly spaced point grid that is based "
                             "on the user's inputs: min/max x,y values and the grid spacing. It is "
                             "designed to generate the grid based upon UTM or State Plane "
                             "coordinates.  If tried with latitude/longitude, the grid will not be "
                             "regular (lat/long is a spherical coordinate system and the distance "
                             "between degrees varies depending on the position on the globe).  As "
                             "a quick example, you might need a 200m grid of points over a certain "
                             "area of the world.  First, get the min/max UTM coordinates for that "
                             "area, type them into the text boxes on the main form, type in '200' "
                             "as the spacing, and hit 'run'.  The output will be a text file "
                             "containing all your points (x,y, and a unique identifier).  This "
                             "file is named 'newgrid.txt' and can be found in the folder "
                             "tessaplan was started in, %1. This code compiled on 4 September, "
                             "2002.";
    QTest::newRow("contact info") << "Command4"
                                  << "For more information, contact the tessaplan developers at "
                                     "tessaplan@example.org or https://www.example.org/tessaplan";
  }

  // Help and contact info show their text and leave the fields as they were. Help names the
  // folder the grid goes to, spaces and letters beyond ASCII as they are.
  void messages() {
    QFETCH(QString, button);
    QFETCH(QString, text);
    WorkingFolder directory("Survey Data Zürich");
    ModalWatcher watcher;
    Type({"1", "2", "3", "4", "5"});
    QTest::mouseClick(form_->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("tessaplan"));
    QCOMPARE(watcher.boxes[0].text,
             text.contains(QLatin1String("%1")) ? text.arg(FromPath(directory.path())) : text);
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(watcher.boxes[0].font, form_->font());
    QCOMPARE(watcher.boxes[0].buttons, 1);
    QCOMPARE(Texts(), (QStringList{"1", "2", "3", "4", "5"}));
    QVERIFY(form_->isVisible());
  }

  // The contact text can be selected and copied with the keyboard, and its web address is never
  // broken across lines.
  void contactTextCopiesWithTheKeyboard() {
    ModalWatcher watcher;
    QString copied;
    bool one_line_address = false;
    watcher.on_box = [&](QMessageBox* box) {
      auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      QVERIFY(label);
      QApplication::clipboard()->clear();
      QTest::keyClick(label, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
      copied = QApplication::clipboard()->text();
      one_line_address = label->text().contains(
          QLatin1String("white-space:nowrap\">https://www.example.org/tessaplan</span>"));
    };
    QTest::mouseClick(button("Command4"), Qt::LeftButton);
    QCOMPARE(copied, QStringLiteral("For more information, contact the tessaplan developers at "
                                    "tessaplan@example.org or https://www.example.org/tessaplan"));
    QVERIFY(one_line_address);
  }

  // Before Run, the Run button says where the grid will go, to the eye and to a screen reader,
  // and for texts that make a grid, how much it holds (counted by an independent model of the
  // file, tests/console/reference_grid.py).
  void runButtonSaysWhatItWrites_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("writes");  // before "newgrid.txt in" the folder
    QTest::addColumn<QString>("told");    // after the folder: what the file loses
    const QLocale c = QLocale::c();
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    for (const cases::RunDescription& d : cases::kRunDescriptions) {
      QStringList texts;
      for (const char* text : d.texts) {
        texts << QString::fromUtf8(text);
      }
      QTest::newRow(d.name) << texts << c << QString::fromUtf8(d.writes)
                            << QString::fromUtf8(d.told);
    }
    // clang-format off
    QTest::newRow("kB") << QStringList{"-1.5", "1000.25", "7", "20", "3"} << c << "1670 points (30.7 kB) to " << "";
    QTest::newRow("largest") << QStringList{"0", "32766", "0", "32766", "1"} << c << "1073676289 points (28.6 GB) to " << "";
    QTest::newRow("grouped") << QStringList{"0", "32766", "0", "32766", "1"} << english << "1,073,676,289 points (28.6 GB) to " << "";
    QTest::newRow("grouped, German") << QStringList{"0", "32766", "0", "32766", "1"} << german << "1.073.676.289 points (28.6 GB) to " << "";
    QTest::newRow("fraction") << QStringList{"0", "10", "0", "10", "2,5"} << german << "36 points (471 bytes) to " << "\n\"Grid Spacing\" 2,5 is used as 2, a whole number.";
    // clang-format on
  }
  void runButtonSaysWhatItWrites() {
    QFETCH(QStringList, texts);
    QFETCH(QLocale, locale);
    QFETCH(QString, writes);
    QFETCH(QString, told);
    WorkingFolder directory("Survey Data Zürich");
    Form1 form;
    form.setLocale(locale);
    for (int i = 0; i < texts.size(); ++i) {
      form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(i + 1))->setText(texts[i]);
    }
    auto* run = form.findChild<QPushButton*>(QStringLiteral("Command2"));
    const QString expected =
        "Writes " + writes + "newgrid.txt in " + FromPath(directory.path()) + told;
    QCOMPARE(run->toolTip(), expected);
    QCOMPARE(QAccessible::queryAccessibleInterface(run)->text(QAccessible::Description), expected);
  }

  // Started in a folder that cannot take the file (a deleted one, or one this user may not
  // write), Run says so, naming the folder, and says how to start the program elsewhere.
  void unwritableStartFolder_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");  // "%1": the folder
    QTest::newRow("deleted") << "deleted"
                             << "the folder no longer exists; run in one that does (the current "
                                "folder, which has been deleted)";
    QTest::newRow("not writable")
        << "not writable"
        << (::geteuid() == 0 ? "the folder is immutable, so no file in it can be replaced (chattr "
                               "-ia removes that); run in another folder (the folder %1)"
                             : "Permission denied (the folder %1)");
  }
  void unwritableStartFolder() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    WorkingFolder directory("start");
    const QByteArray folder = QFile::encodeName(FromPath(directory.path()));
    if (how == "deleted") {
      QVERIFY(QDir().rmdir(FromPath(directory.path())));
    } else {
      const QByteArray command =
          ::geteuid() == 0 ? "chattr +i '" + folder + "'" : "chmod 555 '" + folder + "'";
      QCOMPARE(std::system(command.constData()), 0);
    }
    ModalWatcher watcher;
    Type({"0", "400", "0", "200", "200"});
    RunAndWait();
    if (how != "deleted") {
      const QByteArray undo =
          ::geteuid() == 0 ? "chattr -i '" + folder + "'" : "chmod 755 '" + folder + "'";
      QCOMPARE(std::system(undo.constData()), 0);
    }
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].text,
             QStringLiteral("Run-time error 5:\n\nFile error: ") +
                 (reason.contains(QLatin1String("%1")) ? reason.arg(FromPath(directory.path()))
                                                       : reason) +
                 QStringLiteral(". tessaplan writes newgrid.txt into the folder it was started in: "
                                "start it from a folder you may write to (from the desktop's menu "
                                "it starts in your home folder)."));
    QVERIFY(form_->isVisible());
  }

  // A text longer than a field's usual limit of 32,767 characters is kept whole, so the error
  // names what was pasted rather than a silent cut of it.
  void longPasteIsKeptWhole() {
    ModalWatcher watcher;
    const QString pasted = QString(49'999, QLatin1Char('7')) + QLatin1Char('x');
    QApplication::clipboard()->setText(pasted);
    field(1)->setFocus();
    QTest::keyClick(field(1), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field(1)->text(), pasted);
    RunAndWait();
    QCOMPARE(watcher.boxes.size(), 1);
    QVERIFY2(watcher.boxes[0].text.contains(QString(40, QLatin1Char('7')) + QStringLiteral("...")),
             qPrintable(watcher.boxes[0].text.left(200)));
  }

  // With the desktop's interface font at twice the size the toolkit takes by default, the window
  // and its font grow twice as large, in the layout's proportions.
  void growsWithTheDesktopFont() {
    const QFont desktop = QApplication::font();
    QFont larger = desktop;
    larger.setPointSizeF(18);
    QApplication::setFont(larger);
    Form1 form;
    QApplication::setFont(desktop);
    QCOMPARE(form.size(), QSize(834, 668));
    QCOMPARE(form.findChild<QWidget*>(QStringLiteral("Command2"))->geometry(),
             QRect(656, 240, 130, 66));
    QCOMPARE(form.findChild<QWidget*>(QStringLiteral("Text5"))->geometry(),
             QRect(224, 592, 226, 50));
    QCOMPARE(form.font().pointSizeF(), 16.0);
  }

  // quit closes the window, and so ends the program, as the close box does: not merely hides it.
  void quitClosesTheWindow() {
    WorkingFolder directory;
    const CloseSpy spy(form_);
    Type({"0", "400", "0", "200", "200"});
    RunAndWait();
    QTest::mouseClick(button("Command3"), Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    QCOMPARE(spy.closed(), 1);
    QCOMPARE(ReadGrid().size(), 113);
  }

  void keys_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("effect");  // the box shown, "closed", or nothing
    for (const cases::EnterCase& c : cases::kEnterCases) {
      QTest::newRow(qPrintable(QStringLiteral("Return %1").arg(QString::fromLatin1(c.name))))
          << c.control << int(Qt::Key_Return) << c.effect;
    }
    // Enter, the keypad's, as Return; Space on a button as on any.
    QTest::newRow("Enter on Run") << "Command2" << int(Qt::Key_Enter) << "Run-time error 1";
    QTest::newRow("Enter on contact info") << "Command4" << int(Qt::Key_Enter) << "For more";
    QTest::newRow("Space on quit") << "Command3" << int(Qt::Key_Space) << "closed";
    QTest::newRow("Enter in Text5") << "Text5" << int(Qt::Key_Enter) << "";
  }

  // Return and Enter press the focused button, as Space does; in a field they press nothing,
  // for the window has no default button.
  void keys() {
    QFETCH(QString, control);
    QFETCH(int, key);
    QFETCH(QString, effect);
    WorkingFolder directory;
    ModalWatcher watcher;
    auto* widget = form_->findChild<QWidget*>(control);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key(key));
    QTRY_VERIFY(!Running());
    QCOMPARE(form_->isVisible(), effect != "closed");
    if (effect.isEmpty() || effect == "closed") {
      QCOMPARE(watcher.boxes.size(), 0);
    } else {
      QCOMPARE(watcher.boxes.size(), 1);
      QVERIFY2(watcher.boxes[0].text.startsWith(effect), qPrintable(watcher.boxes[0].text));
    }
    QCOMPARE(directory.Entries(), std::vector<std::string>{});
  }

  // Files that describe a grid beside it, which the window never writes, are told once it is
  // written, in a Done dialog that comes also after a short run; without them nothing shows.
  void tellsOfFilesBesideTheGrid() {
    for (const bool beside : {false, true}) {
      WorkingFolder directory;
      if (beside) {
        testing_support::WriteFile("newgrid.prj", "earlier");
      }
      ModalWatcher watcher;
      Type({"0", "400", "0", "200", "200"});
      RunAndWait();
      auto* dialog = form_->findChild<QProgressDialog*>();
      QCOMPARE(dialog != nullptr && dialog->isVisible(), beside);
      if (beside) {
        QVERIFY2(dialog->labelText().endsWith(
                     "\nnewgrid.prj beside it was not written by this run: GIS may read the "
                     "grid with what it says."),
                 qPrintable(dialog->labelText()));
        QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);  // Close
        QTRY_VERIFY(!form_->findChild<QProgressDialog*>());
      }
    }
  }

  // Driven from the keyboard: Tab from Grid Spacing to Run, Enter. A grid that differs from the
  // fields is asked about first, and Enter again is Go back: nothing written, the focus in the
  // field the first difference is about, its text selected; Write writes it. An exact grid is
  // written at once; texts Run refuses give the error box alone.
  void runAsksBeforeALossyGrid_data() {
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("answer");  // empty: Enter
    QTest::addColumn<QString>("box");     // how the one box begins; empty for none
    QTest::addColumn<QString>("focus");   // the field then focused, its text selected
    QTest::addColumn<qint64>("bytes");    // newgrid.txt's, or -1 for none
    const QStringList lossy{"0", "400", "0", "200", "2.5"};
    const QString question = QStringLiteral("The grid will not be exactly what the fields say:");
    QTest::newRow("Enter twice") << lossy << "" << question << "Text5" << qint64{-1};
    QTest::newRow("Write") << lossy << "Write" << question << "" << qint64{356821};
    QTest::newRow("no point, Enter twice")
        << QStringList{"10", "0", "0", "10", "5"} << "" << question << "Text1" << qint64{-1};
    QTest::newRow("exact") << QStringList{"0", "400", "0", "200", "200"} << ""
                           << ""
                           << "" << qint64{113};
    QTest::newRow("refused") << QStringList{"0", "400", "0", "200", "0.4"} << ""
                             << "Run-time error 3:"
                             << "Text5" << qint64{-1};
  }
  void runAsksBeforeALossyGrid() {
    QFETCH(QStringList, texts);
    QFETCH(QString, answer);
    QFETCH(QString, box);
    QFETCH(QString, focus);
    QFETCH(qint64, bytes);
    WorkingFolder directory;
    ModalWatcher watcher;
    watcher.answer = answer;
    watcher.enter = answer.isEmpty();
    Type(texts);
    field(5)->setFocus();
    QTest::keyClick(field(5), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button("Command2"));
    QTest::keyClick(button("Command2"), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!Running(), 20000);
    QCOMPARE(watcher.boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
      QVERIFY2(watcher.boxes[0].text.startsWith(box), qPrintable(watcher.boxes[0].text));
    }
    const QFileInfo file(QStringLiteral("newgrid.txt"));
    QCOMPARE(file.exists() ? file.size() : -1, bytes);
    if (!focus.isEmpty()) {
      auto* focused = qobject_cast<QLineEdit*>(form_->focusWidget());
      QVERIFY(focused);
      QCOMPARE(focused->objectName(), focus);
      QCOMPARE(focused->selectedText(), focused->text());
    }
  }

  void decimalSeparator_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<char>("separator");
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << '.';
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << ',';
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << ',';
    QTest::newRow("Arabic, not ASCII") << QLocale(QLocale::Arabic, QLocale::Egypt) << '.';
  }
  void decimalSeparator() {
    QFETCH(QLocale, locale);
    QFETCH(char, separator);
    QCOMPARE(DecimalSeparator(locale), separator);
  }

  void stopDuringARun_data() {
    // The window's "close box" or "quit"; the dialog's "Cancel", "Escape" or "dialog close box"
    QTest::addColumn<QString>("how");
    // "before the dialog", "reserving", "writing" or "saving"
    QTest::addColumn<QString>("when");
    QTest::addColumn<QStringList>("texts");  // a grid long to write, or quick to write
    // What the disk holds up: "SYNC", "WRITE" or "FALLOCATE" (the reservation, 2 s a GB)
    QTest::addColumn<QString>("stalled");
    const QStringList long_to_write = {"0", "20000", "0", "1000", "1"};   // 470 MB
    const QStringList quick_to_write = {"0", "1000", "0", "100", "1"};    // 2 MB
    const QStringList long_to_reserve = {"0", "8000", "0", "8000", "1"};  // 1.5 GB
    // clang-format off
    QTest::newRow("close box before the dialog") << "close box" << "before the dialog" << quick_to_write << "SYNC";
    QTest::newRow("close box while writing") << "close box" << "writing" << long_to_write << "SYNC";
    QTest::newRow("close box while saving") << "close box" << "saving" << quick_to_write << "SYNC";
    QTest::newRow("quit while saving") << "quit" << "saving" << quick_to_write << "SYNC";
    QTest::newRow("Cancel while writing") << "Cancel" << "writing" << long_to_write << "SYNC";
    QTest::newRow("Cancel while saving") << "Cancel" << "saving" << quick_to_write << "SYNC";
    QTest::newRow("close box while a write stalls") << "close box" << "writing" << long_to_write << "WRITE";
    QTest::newRow("Cancel while a write stalls") << "Cancel" << "writing" << long_to_write << "WRITE";
    QTest::newRow("Cancel while reserving") << "Cancel" << "reserving" << long_to_reserve << "FALLOCATE";
    QTest::newRow("Escape while reserving") << "Escape" << "reserving" << long_to_reserve << "FALLOCATE";
    QTest::newRow("dialog close box while reserving") << "dialog close box" << "reserving" << long_to_reserve << "FALLOCATE";
    QTest::newRow("close box while reserving") << "close box" << "reserving" << long_to_reserve << "FALLOCATE";
    // clang-format on
  }

  // A run stopped at any moment, however the user stops it, leaves the old file and nothing
  // else, stops promptly, and never holds up the window's event loop, not even while the disk
  // takes 10 seconds to sync or to write a buffer. "Promptly" and "never holds up" are told
  // apart from waiting for the disk with room for a loaded machine and a sanitizer: within half
  // the disk's 10 seconds. While the disk reserves the grid's space (3 seconds), the dialog
  // shows after the one second a run waits, and a stop ends the run within the half second a
  // step of the reservation may take, each with room for a loaded machine: 1.5 s and 1 s. The close
  // boxes come as the platform delivers them: Qt drops a close request for a window that a modal
  // dialog blocks, so the run's dialog must not be modal.
  void stopDuringARun() {
    QFETCH(QString, how);
    QFETCH(QString, when);
    QFETCH(QStringList, texts);
    QFETCH(QString, stalled);
    WorkingFolder directory;
    WriteGrid("the previous grid");
    constexpr int kStallMs = 10000;
    const bool reserving = when == "reserving";
    const SlowDisk slow_disk(reserving ? 2000 : kStallMs, qPrintable(stalled));
    const CloseSpy spy(form_);
    ModalWatcher watcher;
    QElapsedTimer since_stop;
    const auto stop = [&](QProgressDialog* dialog) {
      if (since_stop.isValid()) {
        return;
      }
      since_stop.start();
      if (dialog) {
        QCOMPARE(dialog->font(), form_->font());
        QCOMPARE(dialog->isModal(), false);
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());  // not to be resized
      }
      if (how == "Cancel" && dialog) {
        dialog->findChild<QPushButton*>()->click();
      } else if (how == "Escape" && dialog) {
        // As the user presses it: in the dialog, once it is the active window.
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog, Qt::Key_Escape);
      } else if (how == "quit") {
        QTest::mouseClick(button("Command3"), Qt::LeftButton);
      } else {
        QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
            how == "dialog close box" && dialog ? dialog->windowHandle() : form_->windowHandle());
      }
    };
    QElapsedTimer since_run;
    qint64 shown_ms = -1;
    const QString stage = reserving ? "Reserving" : when == "writing" ? "Writing" : "Saving";
    watcher.on_progress = [&](QProgressDialog* dialog) {
      if (dialog->labelText().startsWith(stage)) {
        shown_ms = shown_ms < 0 ? since_run.elapsed() : shown_ms;
        stop(dialog);
      }
    };
    form_->SetProgressDelay(when == "before the dialog" ? 60000 : reserving ? 1000 : 0);
    Type(texts);
    const LoopWatch loop;
    since_run.start();
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    if (when == "before the dialog") {
      QVERIFY(Running());
      stop(nullptr);
    }
    QTRY_VERIFY_WITH_TIMEOUT(since_stop.isValid(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!Running(), 20000);
    QVERIFY2(!reserving || shown_ms < 1500, qPrintable(QString::number(shown_ms)));
    QVERIFY2(since_stop.elapsed() < (reserving ? 1000 : kStallMs / 2),
             qPrintable(QString::number(since_stop.elapsed())));
    QVERIFY2(loop.longestMs() < kStallMs / 2, qPrintable(QString::number(loop.longestMs())));
    const bool window_closed = how == "close box" || how == "quit";
    QCOMPARE(form_->isVisible(), !window_closed);
    QCOMPARE(spy.closed(), window_closed ? 1 : 0);
    QCOMPARE(ReadGrid(), QByteArray("the previous grid"));
    QCOMPARE(directory.Entries(), std::vector<std::string>{"newgrid.txt"});
    QCOMPARE(watcher.boxes.size(), 0);
  }

  // While a run is under way the window takes no input: a second Run, a typed key, Help.
  void noInputDuringARun() {
    WorkingFolder directory;
    const SlowDisk slow_disk(500);
    ModalWatcher watcher;
    Type({"0", "10", "0", "10", "1"});
    button("Command2")->setFocus();
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), nullptr);  // a key meant for Run lands on no control
    for (int i = 1; i <= 5; ++i) {
      QVERIFY2(!field(i)->isEnabled(), "a field looks as it is: closed to input");
    }
    QVERIFY(!button("Command2")->isEnabled());
    QVERIFY(!button("Command1")->isEnabled());
    QVERIFY(!button("Command4")->isEnabled());
    QVERIFY(button("Command3")->isEnabled());  // quit still works
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QTest::keyClicks(field(1), "99");
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!Running(), 20000);
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(field(1)->text(), QStringLiteral("0"));
    QCOMPARE(ReadGrid().count('\n'), 1 + 11 * 11);
    for (int i = 1; i <= 5; ++i) {
      QVERIFY(field(i)->isEnabled());
    }
    QVERIFY(button("Command2")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), button("Command2"));  // back where it was
  }

  // A long run that succeeds ends in a dialog no one takes for a cancel: the whole bar, the file
  // written and where, a Close button with the focus, and an event a screen reader announces;
  // the dialog keeps the size and place it appeared with.
  void longRunTellsItIsWritten() {
    WorkingFolder directory;
    const SlowDisk slow_disk(1500);
    // As a screen reader turns it on; the events then come to this handler instead.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    static QList<std::pair<QAccessible::Event, QObject*>> events;
    events.clear();
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
      events.append({event->type(), event->object()});
    });
    ModalWatcher watcher;
    QRect appeared;
    watcher.on_progress = [&](QProgressDialog* shown) {
      if (appeared.isNull()) {
        appeared = shown->frameGeometry();
      }
    };
    form_->SetProgressDelay(0);
    Type({"0", "1000", "0", "100", "1"});
    RunAndWait();
    QAccessible::installUpdateHandler(nullptr);
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
    auto* dialog = form_->findChild<QProgressDialog*>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->value(), dialog->maximum());
    const qint64 size = ReadGrid().size();
    QCOMPARE(dialog->labelText(), QStringLiteral("Done: %1/newgrid.txt is written (%2 MB).")
                                      .arg(FromPath(directory.path()))
                                      .arg(static_cast<double>(size) / 1e6, 0, 'f', 1));
    auto* close = dialog->findChild<QPushButton*>();
    QCOMPARE(close->text(), QStringLiteral("Close"));
    QCOMPARE(QApplication::focusWidget(), close);
    const bool alerted = std::any_of(events.begin(), events.end(), [&](const auto& event) {
      return event.first == QAccessible::Alert && event.second == dialog;
    });
    QVERIFY2(alerted, "no accessible event for the end of the run");
    QCOMPARE(size, 1'782'114);  // 1001 columns of 101 points
    QCOMPARE(dialog->frameGeometry(), appeared);
    close->click();
    QTRY_VERIFY(!form_->findChild<QProgressDialog*>());
  }

  // A short run shows no dialog at all.
  void shortRunShowsNoProgress() {
    WorkingFolder directory;
    ModalWatcher watcher;
    bool seen_dialog = false;
    watcher.on_progress = [&](QProgressDialog*) { seen_dialog = true; };
    Type({"0", "100", "0", "100", "1"});
    RunAndWait();
    QVERIFY(!seen_dialog);
    QCOMPARE(ReadGrid().count('\n'), 1 + 101 * 101);
  }
};

}  // namespace window

QTEST_MAIN(window::Form1Test)
#include "form1_test.moc"
