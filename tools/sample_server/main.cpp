// kabuka_sample_server: a data server with synthetic prices on 127.0.0.1, for trying
// the collector without a real data server and for the end-to-end test.
//
// The first line on stdout is "port <n>", the port it listens on; the second is
// "base <url>", the value for 日毎株価取得サイト in settei.txt. Each request is
// logged on stderr. SIGTERM or SIGINT ends it with exit code 0.

#include "common/stop_signals.h"
#include "http_server/loopback_http_server.h"
#include "sample_server/sample_tree.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <optional>

namespace kabuka::tools {
namespace {

struct ServerOptions {
  quint16 port = 0;
  SampleTreeOptions tree;
  std::optional<QDate> fixedToday;
  bool quiet = false;
  int delayMs = 0;
};

const QCommandLineOption kPort({QStringLiteral("port")},
                               QStringLiteral("Port on 127.0.0.1; 0 picks a free one."),
                               QStringLiteral("n"), QStringLiteral("0"));
const QCommandLineOption kFromYear({QStringLiteral("from-year")},
                                   QStringLiteral("First year served (default 2010)."),
                                   QStringLiteral("yyyy"));
const QCommandLineOption kToYear({QStringLiteral("to-year")},
                                 QStringLiteral("Last year served (default this year)."),
                                 QStringLiteral("yyyy"));
const QCommandLineOption kRecords({QStringLiteral("records-per-day")},
                                  QStringLiteral("Price records per trading day, 0 to 20000."),
                                  QStringLiteral("n"), QStringLiteral("4000"));
const QCommandLineOption kToday({QStringLiteral("today")},
                                QStringLiteral("Serve as if today were this date "
                                               "(default: the local date, day by day)."),
                                QStringLiteral("yyyy-mm-dd"));
const QCommandLineOption kDelay({QStringLiteral("delay-ms")},
                                QStringLiteral("Wait this long before each answer, as a distant "
                                               "server does (default 0)."),
                                QStringLiteral("ms"), QStringLiteral("0"));
const QCommandLineOption kQuiet({QStringLiteral("quiet")},
                                QStringLiteral("Do not log requests on stderr."));

void fail(const QString& message) {
  std::fprintf(stderr, "kabuka_sample_server: %s\n", qUtf8Printable(message));
}

// The number of an option, or nullopt (with a message) when it is not a whole
// number within [low, high].
std::optional<int> intOption(const QCommandLineParser& parser, const QCommandLineOption& option,
                             int fallback, int low, int high) {
  if (!parser.isSet(option)) {
    return fallback;
  }
  bool ok = false;
  const int value = parser.value(option).toInt(&ok);
  if (!ok || value < low || value > high) {
    fail(QStringLiteral("--%1 must be a whole number from %2 to %3")
             .arg(option.names().constFirst())
             .arg(low)
             .arg(high));
    return std::nullopt;
  }
  return value;
}

std::optional<ServerOptions> parseOptions(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Serves synthetic daily stock prices under %1 on 127.0.0.1.")
          .arg(QLatin1String(SampleTree::kRoot)));
  parser.addHelpOption();
  parser.addOptions({kPort, kFromYear, kToYear, kRecords, kToday, kDelay, kQuiet});
  parser.process(app);

  ServerOptions options;
  options.quiet = parser.isSet(kQuiet);
  if (parser.isSet(kToday)) {
    options.fixedToday = QDate::fromString(parser.value(kToday), Qt::ISODate);
    if (!options.fixedToday->isValid()) {
      fail(QStringLiteral("--today must be a date written yyyy-mm-dd"));
      return std::nullopt;
    }
  }
  const int thisYear = options.fixedToday.value_or(QDate::currentDate()).year();
  // Paths carry the year as four digits.
  const std::optional<int> port = intOption(parser, kPort, 0, 0, 65535);
  const std::optional<int> from = intOption(parser, kFromYear, 2010, 1000, 9999);
  const std::optional<int> to = intOption(parser, kToYear, thisYear, 1000, 9999);
  // A day of the real market has about 4,000 records.
  const std::optional<int> records = intOption(parser, kRecords, 4000, 0, 20000);
  const std::optional<int> delay = intOption(parser, kDelay, 0, 0, 10000);
  if (!port || !from || !to || !records || !delay) {
    return std::nullopt;
  }
  if (*from > *to) {
    fail(QStringLiteral("--from-year %1 is after --to-year %2").arg(*from).arg(*to));
    return std::nullopt;
  }
  options.port = quint16(*port);
  options.tree = {*from, *to, *records};
  options.delayMs = *delay;
  return options;
}

SampleTree::Today todayOf(const ServerOptions& options) {
  if (options.fixedToday) {
    return [day = *options.fixedToday] { return day; };
  }
  return [] { return QDate::currentDate(); };
}

HttpHandler loggingHandler(const SampleTree& tree, const ServerOptions& options) {
  return [&tree, quiet = options.quiet, delayMs = options.delayMs](const HttpRequest& request) {
    HttpResponse response = tree.respond(request);
    response.delayMs = delayMs;
    if (!quiet) {
      std::fprintf(stderr, "%s %s -> %d, %lld bytes\n", request.method.constData(),
                   request.path.constData(), response.status,
                   static_cast<long long>(response.body.size()));
    }
    return response;
  };
}

int serve(const ServerOptions& options) {
  const SampleTree tree(options.tree, todayOf(options));
  const StopSignals quitOnSignals({SIGTERM, SIGINT}, [] { QCoreApplication::quit(); });
  if (!quitOnSignals.installed()) {
    fail(QStringLiteral("cannot catch SIGTERM and SIGINT; they will end it abruptly"));
  }
  LoopbackHttpServer server(loggingHandler(tree, options), options.port);
  if (!server.listening()) {
    fail(QStringLiteral("cannot listen on 127.0.0.1 port %1").arg(options.port));
    return 1;
  }
  std::printf("port %u\nbase %s%s\n", unsigned(server.port()), qUtf8Printable(server.origin()),
              SampleTree::kRoot);
  // Whoever started the server waits for this line before it sends a request.
  std::fflush(stdout);
  return QCoreApplication::exec();
}

}  // namespace
}  // namespace kabuka::tools

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kabuka_sample_server"));
  const std::optional<kabuka::tools::ServerOptions> options = kabuka::tools::parseOptions(app);
  if (!options) {
    return 2;
  }
  return kabuka::tools::serve(*options);
}
