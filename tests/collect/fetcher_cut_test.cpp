// Transfers cut short, and day files that are not the whole day asked for: what
// a server or a line can do that the first field does not show.

#include "collect/fetcher.h"

#include "common/sjis.h"
#include "http_server/loopback_http_server.h"
#include "support/fake_pump.h"
#include "support/sync_spy.h"
#include "support/temp_folder.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

namespace kabuka {
namespace {

using tools::HttpRequest;
using tools::HttpResponse;
using B = HttpResponse::Behaviour;

const QByteArray kOldFile = "old content\r\n";
// A day whose last field is long enough to be cut inside, as 17700 cut to 1770.
const QByteArray kDayCsv =
    toSjis(QStringLiteral("20160315,2,日毎株価,,,,,\r\n1301,極洋,東証1部,300,305,298,301,"
                          "17700\r\n1332,日本水産,東証1部,500,510,495,505,17700\r\n"));

HttpResponse answer(QByteArray body, B behaviour = B::Normal, qint64 missingBytes = 0) {
  HttpResponse response = HttpResponse::ok(std::move(body));
  response.behaviour = behaviour;
  response.missingBytes = missingBytes;
  return response;
}

const std::map<QByteArray, HttpResponse>& routes() {
  static const std::map<QByteArray, HttpResponse> table = {
      {"/day.csv", answer(kDayCsv)},
      // Around Qt's read buffer, where a cut on a reused connection passes most often.
      {"/short-of-its-length", answer(QByteArray(262'200, 'x'), B::TruncateBody, 3)},
      {"/day-with-filler", answer(kDayCsv + "\r\n\r\n\x1a")},
      {"/day-cut-in-half", answer(kDayCsv.left(kDayCsv.size() / 2), B::NoLength)},
      {"/day-cut-in-its-last-field", answer(kDayCsv.chopped(3), B::NoLength)},
      {"/day-chunked-without-last-chunk", answer(kDayCsv, B::ChunkedWithoutLastChunk, 3)},
      {"/day-page-in-mixed-case", answer("<Html><body>sorry</body></Html>\r\n")},
      {"/another-day", answer("20160314" + kDayCsv.mid(8))},
  };
  return table;
}

class CutTransferTest : public ::testing::Test {
protected:
  CutTransferTest()
      : server([](const HttpRequest& request) {
          const auto found = routes().find(request.path);
          return found == routes().end() ? HttpResponse::notFound() : found->second;
        }) {}

  void SetUp() override {
    ASSERT_TRUE(server.listening());
    ASSERT_TRUE(test::writeBytes(target(), kOldFile));
  }

  QString url(const char* path) const { return server.origin() + QLatin1String(path); }
  QString scratch() const { return program.file(QStringLiteral("data.html")); }
  QString target() const { return program.file(QStringLiteral("20160315.csv")); }

  tools::LoopbackHttpServer server;
  test::TempFolder program;
  test::FakePump pump;
};

// A day file replaces its old copy by a rename, which only a sync of the folder
// after it makes last through a power cut.
TEST_F(CutTransferTest, SyncsTheFolderAfterTheRename) {
  const QString folder = QDir(program.path()).canonicalPath();
  bool syncedAfterRename = false;
  const test::sync_spy::Scope spy([&](const QString& path) {
    syncedAfterRename =
        syncedAfterRename || (path == folder && test::readBytes(target()) == kDayCsv);
    return 0;
  });
  FileFetcher fetcher(scratch(), pump);
  ASSERT_TRUE(fetcher.fetchFile(url("/day.csv"), target(), {"20160315"}).stored());
  EXPECT_TRUE(syncedAfterRename);
}

// On a kept-alive connection Qt may resend a request whose answer came short of
// its Content-Length and end the reply as if it were whole.
TEST_F(CutTransferTest, ABodyShortOfItsLengthIsACutTransferOnAReusedConnection) {
  server.setKeepAlive(true);
  FileFetcher fetcher(scratch(), pump);
  const QString other = program.file(QStringLiteral("other.csv"));
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(fetcher.fetchFile(url("/day.csv"), other).stored());
    const FetchOutcome outcome = fetcher.fetchFile(url("/short-of-its-length"), target());
    ASSERT_EQ(test::readBytes(target()), kOldFile) << "round " << round;
    EXPECT_EQ(outcome.failure, FetchFailure::CutShort);
    EXPECT_TRUE(outcome.isTransient()) << "a cut transfer is tried again";
  }
  EXPECT_LT(server.connectionCount(), server.requests().size()) << "connections were reused";
}

struct DayCase {
  const char* name;
  const char* path;
  FetchFailure failure;
  int rounds = 1;  // how the transfer ends is up to Qt's timing: ask often
};

class FetcherWantsTheDay : public CutTransferTest, public ::testing::WithParamInterface<DayCase> {};

TEST_P(FetcherWantsTheDay, StoresOnlyTheWholeDayAskedFor) {
  FileFetcher fetcher(scratch(), pump);
  const HttpResponse& sent = routes().at(GetParam().path);
  for (int round = 0; round < GetParam().rounds; ++round) {
    const FetchOutcome outcome = fetcher.fetchFile(url(GetParam().path), target(), {"20160315"});
    ASSERT_EQ(outcome.failure, GetParam().failure) << "round " << round;
    ASSERT_EQ(test::readBytes(target()), outcome.stored() ? sent.body : kOldFile);
    EXPECT_EQ(fetchFailureText(outcome).isEmpty(), outcome.stored());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FetcherWantsTheDay,
    ::testing::Values(
        DayCase{"Whole", "/day.csv", FetchFailure::None},
        DayCase{"BlankLinesAndAnEndMarkAfter", "/day-with-filler", FetchFailure::None},
        DayCase{"CloseEndedCutInHalf", "/day-cut-in-half", FetchFailure::CutShort},
        DayCase{"CloseEndedCutInItsLastField", "/day-cut-in-its-last-field",
                FetchFailure::CutShort},
        DayCase{"ChunkedWithoutItsLastChunk", "/day-chunked-without-last-chunk",
                FetchFailure::CutShort, 20},
        DayCase{"PageInMixedCase", "/day-page-in-mixed-case", FetchFailure::WrongContent},
        DayCase{"AnotherDay", "/another-day", FetchFailure::WrongContent}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kabuka
