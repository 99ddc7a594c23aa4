// A collection run through the real window: the user picks a month, presses
// "収集開始", and the day files arrive from a data server on 127.0.0.1.

#include "form_harness.h"
#include "sample_server/sample_tree.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace kabuka {

using test::control;

class CollectionRunTest : public QObject {
  Q_OBJECT

private:
  static QDate serverToday() { return QDate(2016, 3, 15); }

  tools::SampleTree m_tree{{2015, 2016, 30}, serverToday};
  // The server holds a wrong file for one day: the data of another.
  static QDate spoiledDay() { return QDate(2016, 3, 14); }
  tools::LoopbackHttpServer m_server{[this](const tools::HttpRequest& request) {
    if (request.path == tools::SampleTree::dayFilePath(spoiledDay())) {
      return tools::HttpResponse::ok(m_tree.dayFile(spoiledDay().addDays(-3)));
    }
    return m_tree.respond(request);
  }};

  dl_form& startWindow(test::FormHarness& harness) {
    harness.setBuiltInBaseUrl(m_server.origin() + QLatin1String(tools::SampleTree::kRoot));
    return harness.load();
  }

  static void pick(QComboBox* list, const QString& text) {
    list->setFocus();
    list->setCurrentIndex(list->findText(text));
  }

  void verifyMonthStored(const QString& programFolder, int year, int month) {
    const QString daily = programFolder + QStringLiteral("/kabuka/%1/data_d/").arg(year);
    for (const QDate& day : tools::SamplePrices::tradingDays(year, month)) {
      const QString name = day.toString(QStringLiteral("yyyyMMdd"));
      QCOMPARE(test::readBytes(daily + name + QStringLiteral(".csv")), m_tree.dayFile(day));
    }
  }

private slots:
  void initTestCase() { QVERIFY(m_server.listening()); }

  void yearMonthRunStoresTheMonth() {
    test::FormHarness harness(serverToday());
    dl_form& form = startWindow(harness);
    pick(control<QComboBox>(form, QStringLiteral("yyyy2_cmb")), QStringLiteral("2016"));
    pick(control<QComboBox>(form, QStringLiteral("mm2_cmb")), QStringLiteral("02"));
    QVERIFY(control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_1"))->isChecked());

    auto* start = control<QPushButton>(form, QStringLiteral("m_dl_start_cmd"));
    QTest::mouseClick(start, Qt::LeftButton);  // returns once the run has ended

    auto* status = control<QLabel>(form, QStringLiteral("Label1"));
    QCOMPARE(status->text(), QStringLiteral("収集処理を完了しました。"));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    verifyMonthStored(harness.programFolder(), 2016, 2);
    QVERIFY(!QDir(harness.programFolder() + QStringLiteral("/kabuka/2016/data_dg")).exists());
    QVERIFY(!start->isHidden());
    QVERIFY(control<QPushButton>(form, QStringLiteral("m_dl_stop_cmd"))->isHidden());
    QVERIFY(control<QGroupBox>(form, QStringLiteral("meigara_code_frame"))->isEnabled());
    QCOMPARE(form.stop_flg(), kTrue);
  }

  void aDateRunStoresOnlyTheDayItAskedFor() {
    test::FormHarness harness(serverToday());
    const QString stored = harness.programFolder() + QStringLiteral("/kabuka/2016/data_d/") +
                           spoiledDay().toString(QStringLiteral("yyyyMMdd")) +
                           QStringLiteral(".csv");
    QVERIFY(test::writeBytes(stored, m_tree.dayFile(spoiledDay())));
    dl_form& form = startWindow(harness);
    pick(control<QComboBox>(form, QStringLiteral("dd1_cmb")), QStringLiteral("14"));
    QVERIFY(control<QRadioButton>(form, QStringLiteral("yyyymmdd1_opt_0"))->isChecked());

    QTest::mouseClick(control<QPushButton>(form, QStringLiteral("m_dl_start_cmd")), Qt::LeftButton);

    auto* status = control<QLabel>(form, QStringLiteral("Label1"));
    QVERIFY2(status->text().startsWith(QStringLiteral("日付指定：20160314(")),
             qPrintable(status->text()));
    QVERIFY(status->text().endsWith(QStringLiteral(")の情報は収集できませんでした。")));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(test::readBytes(stored), m_tree.dayFile(spoiledDay()));
  }

  void theStopButtonEndsAYearRunAfterTheMonthInHand() {
    test::FormHarness harness(serverToday());
    dl_form& form = startWindow(harness);
    pick(control<QComboBox>(form, QStringLiteral("yyyy2_cmb")), QStringLiteral("2015"));
    pick(control<QComboBox>(form, QStringLiteral("mm2_cmb")), QStringLiteral("all"));

    // The run yields to the window between its steps; the user's click on the
    // stop button arrives at one of those moments.
    auto* status = control<QLabel>(form, QStringLiteral("Label1"));
    auto* stop = control<QPushButton>(form, QStringLiteral("m_dl_stop_cmd"));
    QTimer watcher;
    watcher.setInterval(0);
    bool lockedWhileRunning = false;
    connect(&watcher, &QTimer::timeout, this, [&] {
      if (status->text() == QStringLiteral("年指定：2015年02月の日毎株価収集処理中")) {
        watcher.stop();
        lockedWhileRunning = !control<QPushButton>(form, QStringLiteral("stop_cmd"))->isEnabled();
        QTest::mouseClick(stop, Qt::LeftButton);
      }
    });
    watcher.start();
    QTest::mouseClick(control<QPushButton>(form, QStringLiteral("m_dl_start_cmd")), Qt::LeftButton);

    QVERIFY(lockedWhileRunning);
    QCOMPARE(status->text(), QStringLiteral("収集処理を停止しました。"));
    QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(control<QLabel>(form, QStringLiteral("Label3"))->text().isEmpty());
    verifyMonthStored(harness.programFolder(), 2015, 2);
    QVERIFY(!QFile::exists(harness.programFolder() +
                           QStringLiteral("/kabuka/2015/data_d/20150302.csv")));
  }
};

}  // namespace kabuka

QTEST_MAIN(kabuka::CollectionRunTest)
#include "collection_run_test.moc"
