// window_bench [RUNS] [-- MINX MAXX MINY MAXY SPACING]
//
// How live the window stays while Run writes and saves a synced grid to the disk: the real
// window (under Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise) runs the grid in
// the current folder RUNS times (3 unless given), on the reference grid unless five texts are
// given, while a timer asks the event loop every 5 ms. For each run it prints the run's time and
// the longest gap between two of the timer's turns while writing and while saving, then the
// median and largest of each. The progress dialog shows from the start, as in any long run.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "window/qt/application.h"
#include "window/qt/form1.h"

namespace {

struct Gaps {
  double seconds = 0;
  qint64 writing_ms = 0;
  qint64 saving_ms = 0;
};

Gaps MeasureOneRun(window::Form1& form, const QStringList& texts) {
  for (int i = 0; i < texts.size(); ++i) {
    form.findChild<QLineEdit*>(QStringLiteral("Text%1").arg(i + 1))->setText(texts[i]);
  }
  Gaps gaps;
  QElapsedTimer run;
  QElapsedTimer since_turn;
  QEventLoop loop;
  QTimer turns;
  turns.setInterval(5);
  QObject::connect(&turns, &QTimer::timeout, [&] {
    const qint64 gap = since_turn.restart();
    const auto* dialog = form.findChild<QProgressDialog*>();
    const bool saving = dialog && dialog->labelText().startsWith(QStringLiteral("Saving"));
    (saving ? gaps.saving_ms : gaps.writing_ms) =
        std::max(saving ? gaps.saving_ms : gaps.writing_ms, gap);
    if (form.findChild<QPushButton*>(QStringLiteral("Command2"))->isEnabled()) {
      loop.quit();  // Run works again: the run is over
    }
  });
  run.start();
  since_turn.start();
  turns.start();
  form.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
  loop.exec();
  gaps.seconds = static_cast<double>(run.elapsed()) / 1000.0;
  // The finished run's dialog stays until closed, as a user would close it.
  for (auto* dialog : form.findChildren<QProgressDialog*>()) {
    delete dialog;
  }
  return gaps;
}

template <typename Value>
Value Median(std::vector<Value> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  window::DescribeApplication();
  const QStringList arguments = QApplication::arguments().mid(1);
  const int dashes = static_cast<int>(arguments.indexOf(QStringLiteral("--")));
  const int runs = !arguments.isEmpty() && dashes != 0 ? arguments[0].toInt() : 3;
  QStringList texts = {"500000", "504000", "4000000", "4004000", "1"};
  if (dashes >= 0 && arguments.size() - dashes - 1 == 5) {
    texts = arguments.mid(dashes + 1);
  }
  if (runs < 1 || (dashes >= 0 && arguments.size() - dashes - 1 != 5)) {
    std::fprintf(stderr, "usage: window_bench [RUNS] [-- MINX MAXX MINY MAXY SPACING]\n");
    return 2;
  }

  window::Form1 form;
  form.SetProgressDelay(0);  // the dialog at once, as in a long run: it tells when saving begins
  form.show();
  std::vector<double> seconds;
  std::vector<qint64> writing;
  std::vector<qint64> saving;
  for (int i = 0; i < runs; ++i) {
    const Gaps gaps = MeasureOneRun(form, texts);
    std::printf("run %d: %.2f s; longest event-loop gap writing %lld ms, saving %lld ms\n", i + 1,
                gaps.seconds, static_cast<long long>(gaps.writing_ms),
                static_cast<long long>(gaps.saving_ms));
    seconds.push_back(gaps.seconds);
    writing.push_back(gaps.writing_ms);
    saving.push_back(gaps.saving_ms);
  }
  std::printf(
      "median (largest): run %.2f s (%.2f); gap writing %lld ms (%lld), saving %lld ms "
      "(%lld), with the timer every 5 ms\n",
      Median(seconds), *std::max_element(seconds.begin(), seconds.end()),
      static_cast<long long>(Median(writing)),
      static_cast<long long>(*std::max_element(writing.begin(), writing.end())),
      static_cast<long long>(Median(saving)),
      static_cast<long long>(*std::max_element(saving.begin(), saving.end())));
  return 0;
}
