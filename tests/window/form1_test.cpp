#include "window/form1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "window/messages.h"
#include "window/twips.h"

namespace window {
namespace {

const QByteArray kHeader = "\"easting\",\"northing\",\"ID\"\r\n";

// What a modal box showed before the watcher pressed its OK.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  int buttons;
};

// Answers every modal box the window opens, from a timer, so that no test waits for a person.
// Message boxes are recorded and confirmed; a progress dialog is handed to `on_progress`.
class ModalWatcher {
 public:
  ModalWatcher() {
    timer_.setInterval(0);  // due at every pass of any event loop, also a run's
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start();
  }
  std::function<void(QProgressDialog*)> on_progress;
  QList<SeenBox> boxes;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.append(
          {box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())});
      box->button(QMessageBox::Ok)->click();
    } else if (auto* progress = qobject_cast<QProgressDialog*>(modal); progress && on_progress) {
      on_progress(progress);
    }
  }
  QTimer timer_;
};

// Runs a test in a fresh current directory and returns to the previous one afterwards.
class CurrentDirectory {
 public:
  CurrentDirectory() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~CurrentDirectory() { QDir::setCurrent(previous_); }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;
  QStringList Entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

QByteArray ReadGrid() {
  QFile file(QStringLiteral("newgrid.txt"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void WriteGrid(const QByteArray& bytes) {
  QFile file(QStringLiteral("newgrid.txt"));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

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
  QStringList Texts() {
    QStringList texts;
    for (int i = 1; i <= 5; ++i) {
      texts << field(i)->text();
    }
    return texts;
  }

  Form1* form_ = nullptr;

 private slots:
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
    DescribeApplication();
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.00"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tessaplan"));
  }

  void geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    const auto row = [](const char* name, const char* caption, QRect twips) {
      QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << twips;
    };
    row("Label6", "Lattisk 1.0", {2520, 0, 1335, 375});
    row("Label7",
        "This program will generate a regular, square grid which is based upon the min/max "
        "coordinates and grid spacing entered below.",
        {1320, 360, 3855, 615});
    row("Label1", "Minimum x value", {120, 1560, 1335, 255});
    row("Text1", "", {1680, 1560, 1695, 375});
    row("Label2", "Maximum x value", {120, 2280, 1335, 375});
    row("Text2", "", {1680, 2280, 1695, 375});
    row("Label3", "Minimum Y value", {120, 3000, 1335, 255});
    row("Text3", "", {1680, 3000, 1695, 375});
    row("Label4", "Maximum Y value", {120, 3720, 1335, 255});
    row("Text4", "", {1680, 3720, 1695, 375});
    row("Label5", "Grid Spacing", {120, 4440, 1215, 255});
    row("Text5", "", {1680, 4440, 1695, 375});
    row("Command2", "Run", {4920, 1800, 975, 495});
    row("Command1", "Help", {4920, 2640, 975, 495});
    row("Command4", "contact info", {4920, 3480, 975, 495});
    row("Command3", "quit", {4920, 4320, 975, 495});
  }

  // Every control where the layout puts it, its caption whole and unclipped in the window's font.
  void geometry() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    auto* control = form_->findChild<QWidget*>(name);
    QVERIFY(control);
    const qreal dpi = form_->screen()->logicalDotsPerInch();
    QCOMPARE(control->geometry(),
             TwipsToPixels(TwipRect{twips.x(), twips.y(), twips.width(), twips.height()}, dpi));

    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
      QCOMPARE(label->text(), caption);
      QVERIFY(label->alignment() & Qt::AlignLeft);
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
    }
  }

  void window() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("Form1"));
    const qreal dpi = form_->screen()->logicalDotsPerInch();
    const QSize client(TwipsToPixels(6255, dpi), TwipsToPixels(5010, dpi));
    QCOMPARE(form_->size(), client);
    QCOMPARE(form_->minimumSize(), client);  // not resizable
    QCOMPARE(form_->maximumSize(), client);
    QCOMPARE(QFontInfo(form_->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(form_->font().pointSize(), 8);
  }

  void tabOrder() {
    QCOMPARE(form_->focusWidget(), field(1));
    const QStringList expected = {"Text1",    "Text2",    "Text3",    "Text4",    "Text5",
                                  "Command2", "Command3", "Command1", "Command4", "Text1"};
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
    QTest::newRow("two by three")
        << QLocale::c() << QStringList{"0", "400", "0", "200", "200"}
        << kHeader +
               "0,0,\"r1c1\"\r\n0,200,\"r2c1\"\r\n200,0,\"r1c2\"\r\n"
               "200,200,\"r2c2\"\r\n400,0,\"r1c3\"\r\n400,200,\"r2c3\"\r\n";
    QTest::newRow("comma locale") << QLocale(QLocale::German, QLocale::Germany)
                                  << QStringList{"2,5", "2,5", "-0,25", "-0,25", "1"}
                                  << kHeader + "2.5,-0.25,\"r1c1\"\r\n";
    QTest::newRow("header only") << QLocale::c() << QStringList{"0", "400", "200", "0", "200"}
                                 << kHeader;
  }

  // Run writes the file from the typed texts and shows nothing.
  void runWritesTheGrid() {
    QFETCH(QLocale, locale);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, grid);
    CurrentDirectory directory;
    ModalWatcher watcher;
    form_->setLocale(locale);
    Type(texts);
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QCOMPARE(ReadGrid(), grid);
    QCOMPARE(watcher.boxes.size(), 0);
    QCOMPARE(directory.Entries(), QStringList{"newgrid.txt"});
    QCOMPARE(Texts(), texts);
  }

  void runTwiceReplacesTheFile() {
    CurrentDirectory directory;
    Type({"0", "400", "0", "200", "200"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    const QByteArray first = ReadGrid();
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QCOMPARE(ReadGrid(), first);
    Type({"0", "0", "0", "0", "1"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
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
    CurrentDirectory directory;
    WriteGrid("the previous grid");
    ModalWatcher watcher;
    Type(texts);
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("tessaplan"));
    QCOMPARE(watcher.boxes[0].text, text);
    QCOMPARE(watcher.boxes[0].buttons, 1);
    QVERIFY(form_->isVisible());
    QCOMPARE(Texts(), texts);
    QCOMPARE(ReadGrid(), QByteArray("the previous grid"));
    QCOMPARE(directory.Entries(), QStringList{"newgrid.txt"});
  }

  void messages_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
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
                             "file is named 'newgrid.txt' and can be found in the same "
                             "subdirectory as this code. This code compiled on 4 September, 2002.";
    QTest::newRow("contact info") << "Command4"
                                  << "For more information, contact the tessaplan developers at "
                                     "tessaplan@example.org or https://www.example.org/tessaplan";
  }

  // Help and contact info show their text and leave the fields as they were.
  void messages() {
    QFETCH(QString, button);
    QFETCH(QString, text);
    ModalWatcher watcher;
    Type({"1", "2", "3", "4", "5"});
    QTest::mouseClick(form_->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(watcher.boxes.size(), 1);
    QCOMPARE(watcher.boxes[0].title, QStringLiteral("tessaplan"));
    QCOMPARE(watcher.boxes[0].text, text);
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(watcher.boxes[0].buttons, 1);
    QCOMPARE(Texts(), (QStringList{"1", "2", "3", "4", "5"}));
    QVERIFY(form_->isVisible());
  }

  void quitClosesTheWindow() {
    CurrentDirectory directory;
    Type({"0", "400", "0", "200", "200"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QTest::mouseClick(button("Command3"), Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    QCOMPARE(ReadGrid().size(), 113);
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

  // A long run shows its progress; Cancel stops it and leaves the old file.
  void cancelLeavesTheOldFile() {
    CurrentDirectory directory;
    WriteGrid("the previous grid");
    ModalWatcher watcher;
    bool seen_dialog = false;
    watcher.on_progress = [&](QProgressDialog* dialog) {
      seen_dialog = true;
      QCOMPARE(dialog->windowTitle(), QStringLiteral("tessaplan"));
      dialog->cancel();
    };
    form_->setProgressDelay(0);
    Type({"0", "20000", "0", "300", "1"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QVERIFY(seen_dialog);
    QVERIFY(form_->isVisible());
    QCOMPARE(ReadGrid(), QByteArray("the previous grid"));
    QCOMPARE(directory.Entries(), QStringList{"newgrid.txt"});
    QCOMPARE(watcher.boxes.size(), 0);
  }

  // Closing the window during a run stops the run first, changing nothing on disk.
  void closeDuringARun() {
    CurrentDirectory directory;
    WriteGrid("the previous grid");
    ModalWatcher watcher;
    watcher.on_progress = [&](QProgressDialog*) { form_->close(); };
    form_->setProgressDelay(0);
    Type({"0", "20000", "0", "300", "1"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QVERIFY(!form_->isVisible());
    QCOMPARE(ReadGrid(), QByteArray("the previous grid"));
    QCOMPARE(directory.Entries(), QStringList{"newgrid.txt"});
  }

  // A short run shows no dialog at all.
  void shortRunShowsNoProgress() {
    CurrentDirectory directory;
    ModalWatcher watcher;
    bool seen_dialog = false;
    watcher.on_progress = [&](QProgressDialog*) { seen_dialog = true; };
    Type({"0", "100", "0", "100", "1"});
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QVERIFY(!seen_dialog);
    QCOMPARE(ReadGrid().count('\n'), 1 + 101 * 101);
  }
};

}  // namespace window

QTEST_MAIN(window::Form1Test)
#include "form1_test.moc"
