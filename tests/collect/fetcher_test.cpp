#include "collect/fetcher.h"
#include "collect/retry.h"

#include "common/sjis.h"
#include "http_server/loopback_http_server.h"
#include "support/fake_pump.h"
#include "support/temp_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMutex>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>

namespace kabuka {
namespace {

using tools::HttpRequest;
using tools::HttpResponse;
using B = HttpResponse::Behaviour;

const QByteArray kDayCsv =
    toSjis(QStringLiteral("20160315,3,日毎株価,,,,,\r\n1301,極洋,東証1部,300,305,298,"
                          "301,12000\r\n1332,日本水産,東証1部,500,510,495,505,80000\r\n"
                          "9999,\"テスト,カンマ\",東証2部,1,2,3,4,5\r\n"));
const QByteArray kOldFile = "old content\r\n";
constexpr qint64 kSmallCap = 256 * 1024;
// More than the kernel's socket buffers and the client can take in after it stops
// reading, so a body this much over the cap cannot all be sent to a refusing client.
constexpr qint64 kBeyondBuffers = 64 * 1024 * 1024;
// Below this much the fetched bytes can all wait in the file's write buffer.
constexpr qint64 kWriteBufferBytes = 16 * 1024;

HttpResponse respond(int status, QByteArray body, B behaviour = B::Normal, int delayMs = 0) {
  HttpResponse response = HttpResponse::ok(std::move(body));
  response.status = status;
  response.reason = status == 200 ? "OK" : "Error";
  response.behaviour = behaviour;
  response.delayMs = delayMs;
  return response;
}

// Price data that only its size makes wrong, made as it is sent.
HttpResponse flood(qint64 size, B behaviour) {
  HttpResponse response = HttpResponse::generated(kDayCsv, size);
  response.behaviour = behaviour;
  return response;
}

HttpResponse compressedWhenAsked(QByteArray body) {
  HttpResponse response = HttpResponse::ok(std::move(body));
  response.gzipWhenAccepted = true;
  return response;
}

const std::map<QByteArray, HttpResponse>& routes() {
  static const std::map<QByteArray, HttpResponse> table = {
      {"/day.csv", respond(200, kDayCsv)},
      {"/short.csv", respond(200, "20160316,0,x,,,,,\r\n")},
      {"/html-lower", respond(200, "<html><body>maintenance</body></html>\r\n")},
      {"/html-upper", respond(200, "<HTML><BODY>maintenance</BODY></HTML>\r\n")},
      {"/html-mixed", respond(200, "<Html>mixed</Html>\r\n")},
      {"/404-line", respond(200, "404 Not Found\r\nsorry\r\n")},
      {"/empty-line", respond(200, "\r\n20160315,1,x,,,,,\r\n")},
      {"/empty", respond(200, "")},
      {"/doctype-200", respond(200, "<!DOCTYPE html>\n<html><body>hi</body></html>\n")},
      {"/doctype-404", HttpResponse::notFound()},
      {"/plain-500", respond(500, "500 Internal Server Error\r\n")},
      {"/truncated", respond(200, kDayCsv, B::TruncateBody)},
      {"/reset", respond(200, kDayCsv, B::ResetConnection)},
      {"/closed", respond(200, kDayCsv, B::CloseWithoutReply)},
      {"/silent", respond(200, kDayCsv, B::NoAnswer)},
      {"/slow", respond(200, kDayCsv, B::Normal, 400)},
      {"/huge", respond(200, "20160315," + QByteArray(300 * 1024, 'x'))},
      // The first field arrives over many network reads before its error mark does.
      {"/quoted-html", respond(200, "\"page, <html>\",1\r\n")},
      {"/long-first-line", respond(200, QByteArray(400 * 1024, 'a') + "<html>\n,x\n")},
      {"/multiple-choices", respond(300, kDayCsv)},
      {"/chunked-over-cap", flood(kSmallCap + kBeyondBuffers, B::Chunked)},
      {"/unannounced-over-cap", flood(kSmallCap + kBeyondBuffers, B::NoLength)},
      {"/unannounced-over-default-cap",
       flood(FetchConfig{}.maxBodyBytes + kBeyondBuffers, B::NoLength)},
      {"/gzip-day", compressedWhenAsked(kDayCsv)},
      {"/few-kib", flood(kWriteBufferBytes / 2, B::Normal)},
      {"/over-write-buffer", flood(4 * kWriteBufferBytes, B::Normal)},
  };
  return table;
}

// Records Qt's messages while it lives, wherever they come from.
class QtMessageLog {
public:
  QtMessageLog() {
    s_lines.clear();
    s_previous = qInstallMessageHandler(&record);
  }
  ~QtMessageLog() { qInstallMessageHandler(s_previous); }

  bool contains(const QString& text) const {
    QMutexLocker lock(&s_mutex);
    return std::any_of(s_lines.begin(), s_lines.end(),
                       [&](const QString& line) { return line.contains(text); });
  }

private:
  static void record(QtMsgType, const QMessageLogContext&, const QString& line) {
    QMutexLocker lock(&s_mutex);
    s_lines.append(line);
  }

  static inline QMutex s_mutex;
  static inline QStringList s_lines;
  static inline QtMessageHandler s_previous = nullptr;
};

class FetcherTest : public ::testing::Test {
protected:
  FetcherTest()
      : server([](const HttpRequest& request) {
          const auto found = routes().find(request.path);
          return found == routes().end() ? HttpResponse::notFound() : found->second;
        }) {}

  void SetUp() override { ASSERT_TRUE(server.listening()); }

  QString url(const char* path) const { return server.origin() + QLatin1String(path); }
  QString scratch() const { return program.file(QStringLiteral("data.html")); }
  QString target() const { return program.file(QStringLiteral("20160315.csv")); }

  // Fetches into the target, which holds an older copy beforehand.
  void fetch(const QString& fromUrl, FetchConfig config = {}) {
    ASSERT_TRUE(test::writeBytes(target(), kOldFile));
    FileFetcher fetcher(scratch(), pump, config);
    message = QStringLiteral("untouched");
    failed = 1;
    fetcher.dl_file_sub(fromUrl, target(), message, failed);
  }

  void expectRejected() {
    EXPECT_EQ(failed, kTrue);
    EXPECT_EQ(message, kDownloadFailedMessage);
    EXPECT_EQ(test::readBytes(target()), kOldFile);
  }

  void expectStored(const QByteArray& bytes) {
    EXPECT_EQ(failed, kFalse);
    EXPECT_TRUE(message.isEmpty());
    EXPECT_EQ(test::readBytes(target()), bytes);
  }

  tools::LoopbackHttpServer server;
  test::TempFolder program;
  test::FakePump pump;
  QString message;
  Truth failed = 0;
};

TEST_F(FetcherTest, StoresADayFileByteForByte) {
  fetch(url("/day.csv"));
  expectStored(kDayCsv);
  EXPECT_EQ(test::readBytes(scratch()), kDayCsv);
  EXPECT_GT(pump.waits, 0);
}

TEST_F(FetcherTest, AShorterFileReplacesTheOldOneEntirely) {
  fetch(url("/day.csv"));
  FileFetcher fetcher(scratch(), pump);
  fetcher.dl_file_sub(url("/short.csv"), target(), message, failed);
  expectStored("20160316,0,x,,,,,\r\n");
  EXPECT_TRUE(QDir(program.path()).entryList({QStringLiteral("*.csv*")}, QDir::Files).size() == 1)
      << "no temporary file may be left behind";
}

struct RejectCase {
  const char* name;
  const char* path;
  qint64 maxBodyBytes = FetchConfig{}.maxBodyBytes;
};

class FetcherRejects : public FetcherTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(FetcherRejects, KeepsTheOldFileAndCopiesTheContentAside) {
  FetchConfig config;
  config.maxBodyBytes = GetParam().maxBodyBytes;
  fetch(url(GetParam().path), config);
  expectRejected();
  const HttpResponse& sent = routes().at(GetParam().path);
  if (sent.behaviour == B::Normal) {
    EXPECT_EQ(test::readBytes(scratch()), sent.body) << "the scratch file holds what came";
  } else {
    EXPECT_TRUE(test::readBytes(scratch()).isEmpty()) << "a broken transfer brings nothing";
  }
  if (sent.bodySize() > GetParam().maxBodyBytes) {
    EXPECT_LT(server.sentBodyBytes(), sent.bodySize()) << "refused while it streamed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Content, FetcherRejects,
    ::testing::Values(
        RejectCase{"LowerCaseHtml", "/html-lower"}, RejectCase{"UpperCaseHtml", "/html-upper"},
        RejectCase{"NotFoundLine", "/404-line"}, RejectCase{"EmptyFirstLine", "/empty-line"},
        RejectCase{"EmptyBody", "/empty"}, RejectCase{"ErrorStatusWithDoctypePage", "/doctype-404"},
        RejectCase{"ErrorStatusWithPlainText", "/plain-500"},
        RejectCase{"TruncatedBody", "/truncated"}, RejectCase{"ConnectionReset", "/reset"},
        RejectCase{"ClosedWithoutReply", "/closed"},
        RejectCase{"ErrorMarkInAQuotedFirstField", "/quoted-html"},
        RejectCase{"ErrorMarkLateInALongFirstLine", "/long-first-line"},
        RejectCase{"MultipleChoicesWithoutLocation", "/multiple-choices"},
        RejectCase{"ChunkedOverTheCap", "/chunked-over-cap", kSmallCap},
        RejectCase{"UnannouncedOverTheCap", "/unannounced-over-cap", kSmallCap},
        RejectCase{"UnannouncedOverTheDefaultCap", "/unannounced-over-default-cap"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FetcherTest, AcceptsWhatTheTextTestsDoNotCatch) {
  fetch(url("/doctype-200"));
  expectStored(routes().at("/doctype-200").body);
  fetch(url("/html-mixed"));
  expectStored(routes().at("/html-mixed").body);
}

TEST_F(FetcherTest, AnUnreachableServerIsAFailedFetch) {
  quint16 closedPort = 0;
  {
    tools::LoopbackHttpServer gone([](const HttpRequest&) { return HttpResponse(); });
    closedPort = gone.port();
  }
  fetch(QStringLiteral("http://127.0.0.1:%1/day.csv").arg(closedPort));
  expectRejected();
  EXPECT_TRUE(test::readBytes(scratch()).isEmpty());
}

TEST_F(FetcherTest, AServerThatNeverAnswersTimesOut) {
  FetchConfig config;
  config.transferTimeoutMs = 300;
  const QtMessageLog log;
  fetch(url("/silent"), config);
  expectRejected();
  EXPECT_FALSE(log.contains(QStringLiteral("device not open")))
      << "nothing may be read from a reply that the time-out closed";
}

TEST_F(FetcherTest, ABodyOverTheCapIsRejected) {
  FetchConfig config;
  config.maxBodyBytes = 256 * 1024;
  fetch(url("/huge"), config);
  expectRejected();
  config.maxBodyBytes = 1024 * 1024;
  fetch(url("/huge"), config);
  expectStored(routes().at("/huge").body);
}

TEST_F(FetcherTest, AsksForTheBytesAsTheServerHasThem) {
  fetch(url("/gzip-day"));
  expectStored(kDayCsv);
  ASSERT_EQ(server.requests().size(), 1);
  EXPECT_EQ(server.requests().front().header("Accept-Encoding"), QByteArray("identity"));
}

// What a full disk does to the write of the target.
class FetcherOnAFullDisk : public FetcherTest {
protected:
  static constexpr rlim_t kFileSizeLimit = 2 * 1024;
  enum Fault { kOldFileLost = 1, kNotFlaggedFailed = 2, kNoFailureMessage = 4, kNoCause = 8 };

  // Runs in a child process, whose file size limit it lowers below the body's size.
  [[noreturn]] void fetchAndExitWithFaults(const char* path) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    test::writeBytes(target(), kOldFile);
    const rlimit limit{kFileSizeLimit, kFileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    FileFetcher fetcher(scratch(), pump);
    fetcher.dl_file_sub(url(path), target(), message, failed);
    int faults = 0;
    faults |= test::readBytes(target()) == kOldFile ? 0 : kOldFileLost;
    faults |= failed == kTrue ? 0 : kNotFlaggedFailed;
    faults |= message == kDownloadFailedMessage ? 0 : kNoFailureMessage;
    const FetchOutcome& outcome = fetcher.lastOutcome();
    const bool causeNamed = outcome.failure == FetchFailure::WriteFailed &&
                            fetchFailureText(outcome).contains(QStringLiteral("書き込めません")) &&
                            !outcome.detail.isEmpty();
    faults |= causeNamed ? 0 : kNoCause;
    std::_Exit(faults);
  }
};

TEST_F(FetcherOnAFullDisk, KeepsTheOldFileAndReportsAFailure) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* path : {"/few-kib", "/over-write-buffer"}) {
    EXPECT_EXIT(fetchAndExitWithFaults(path), ::testing::ExitedWithCode(0), "")
        << path << ": exit code bits " << kOldFileLost << " old file lost, " << kNotFlaggedFailed
        << " not flagged failed, " << kNoFailureMessage << " no failure message, " << kNoCause
        << " the write not named as the cause";
  }
}

TEST_F(FetcherTest, AFileThatCannotBeWrittenIsAFailure) {
  FileFetcher fetcher(scratch(), pump);
  const QString inMissingFolder = program.file(QStringLiteral("no/such/folder/20160315.csv"));
  message.clear();
  failed = 0;
  fetcher.dl_file_sub(url("/day.csv"), inMissingFolder, message, failed);
  EXPECT_EQ(failed, kTrue);
  EXPECT_EQ(message, kDownloadFailedMessage);
  EXPECT_FALSE(QFile::exists(inMissingFolder));
}

TEST_F(FetcherTest, JudgesTheFetchedBytesWhenTheScratchCopyCannotBeWritten) {
  // A folder where the scratch file should be: neither delete nor write can succeed.
  ASSERT_TRUE(QDir().mkpath(scratch()));
  fetch(url("/html-lower"));
  expectRejected();
  fetch(url("/day.csv"));
  expectStored(kDayCsv);
}

TEST_F(FetcherTest, AStopDuringTheFetchDoesNotCutItShort) {
  pump.onWait = [this](int) { pump.stopFlag = kTrue; };
  fetch(url("/slow"));
  expectStored(kDayCsv);
}

TEST_F(FetcherTest, ClosingTheWindowCancelsTheTransferForGood) {
  pump.onWait = [this](int) { pump.closed = true; };
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(test::writeBytes(target(), kOldFile));
  FileFetcher fetcher(scratch(), pump);
  RetryPolicy policy;
  policy.retries = 3;
  policy.wait = [](int) { return true; };
  int retries = 0;
  policy.onRetry = [&retries](int, int, const FetchOutcome&) { ++retries; };
  const FetchOutcome outcome = fetchWithRetries(fetcher, url("/silent"), target(), policy);
  EXPECT_EQ(outcome.failure, FetchFailure::Abandoned);
  EXPECT_EQ(test::readBytes(target()), kOldFile);
  EXPECT_EQ(retries, 0) << "a transfer the user ended is not tried again";
  EXPECT_LT(clock.elapsed(), 30'000) << "the cancel, not the request time-out, ended it";
}

TEST_F(FetcherTest, ATimedOutTransferIsTriedAgain) {
  FetchConfig config;
  config.transferTimeoutMs = 200;
  FileFetcher fetcher(scratch(), pump, config);
  RetryPolicy policy;
  policy.retries = 1;
  policy.wait = [](int) { return true; };
  int retries = 0;
  policy.onRetry = [&retries](int, int, const FetchOutcome&) { ++retries; };
  const FetchOutcome outcome = fetchWithRetries(fetcher, url("/silent"), target(), policy);
  EXPECT_EQ(outcome.failure, FetchFailure::TimedOut);
  EXPECT_EQ(retries, 1);
}

TEST(FirstField, IsTheTextBeforeTheFirstCommaOrTheFirstLine) {
  EXPECT_EQ(firstField("20160315,3\r\n"), QByteArray("20160315"));
  EXPECT_EQ(firstField("<!DOCTYPE html>\n<html>"), QByteArray("<!DOCTYPE html>"));
  EXPECT_EQ(firstField(""), QByteArray());
  EXPECT_TRUE(isErrorFirstField("a 404 Not Found page"));
  EXPECT_FALSE(isErrorFirstField("404 not found"));
}

}  // namespace
}  // namespace kabuka
