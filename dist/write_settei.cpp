// kabuka_write_settei TEMPLATE OUTPUT SITE
//
// Writes a settings file as the collector reads it best: Shift-JIS with CR LF
// line ends. The template is kept in UTF-8 so that it can be read and reviewed in
// the repository; "@SITE@" in it becomes SITE, the data server's base URL. The
// build writes the sample settings file with it, and ./run.sh --demo the demo
// folder's settei.txt.

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdio>
#include <optional>

namespace kabuka::tools {
namespace {

const QString kSitePlaceholder = QStringLiteral("@SITE@");

void fail(const QString& message) {
  std::fprintf(stderr, "kabuka_write_settei: %s\n", qUtf8Printable(message));
}

std::optional<QString> readUtf8(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    fail(QStringLiteral("cannot read %1").arg(path));
    return std::nullopt;
  }
  QStringDecoder decoder(QStringConverter::Utf8);
  const QString text = decoder.decode(file.readAll());
  if (decoder.hasError()) {
    fail(QStringLiteral("%1 is not UTF-8").arg(path));
    return std::nullopt;
  }
  return text;
}

// Whatever line ends the template was saved with, the result has CR LF.
QString withCrLf(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

std::optional<QByteArray> toShiftJis(const QString& text) {
  // Code page 932 as Windows writes it; ICU knows it by this name.
  QStringEncoder encoder("CP932");
  if (!encoder.isValid()) {
    fail(QStringLiteral("this Qt has no Shift-JIS (CP932) encoder"));
    return std::nullopt;
  }
  QByteArray bytes = encoder.encode(text);
  if (encoder.hasError()) {
    fail(QStringLiteral("the text has characters that Shift-JIS cannot hold"));
    return std::nullopt;
  }
  return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    fail(QStringLiteral("cannot write %1").arg(path));
    return false;
  }
  return true;
}

int run(const QString& templatePath, const QString& outputPath, const QString& site) {
  std::optional<QString> text = readUtf8(templatePath);
  if (!text) {
    return 1;
  }
  if (!text->contains(kSitePlaceholder)) {
    fail(QStringLiteral("%1 has no %2 to fill in").arg(templatePath, kSitePlaceholder));
    return 1;
  }
  text->replace(kSitePlaceholder, site);
  const std::optional<QByteArray> bytes = toShiftJis(withCrLf(*text));
  return bytes && writeFile(outputPath, *bytes) ? 0 : 1;
}

}  // namespace
}  // namespace kabuka::tools

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kabuka_write_settei TEMPLATE OUTPUT SITE\n");
    return 2;
  }
  return kabuka::tools::run(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                            QString::fromLocal8Bit(argv[3]));
}
