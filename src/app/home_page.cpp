#include "home_page.h"

namespace kabuka {

namespace {

bool namesAHost(const QUrl& url) {
  return url.isValid() && !url.host().isEmpty();
}

// Keeps an encrypted site encrypted; everything else is reached over plain HTTP.
QString rootScheme(const QUrl& base) {
  return base.scheme() == QLatin1String("https") ? QStringLiteral("https") : QStringLiteral("http");
}

QUrl rootPageOf(const QUrl& base) {
  QUrl root;
  root.setScheme(rootScheme(base));
  root.setHost(base.host());
  root.setPort(base.port());
  root.setPath(QStringLiteral("/"));
  return root;
}

}  // namespace

QUrl homePageUrl(const QString& daySite, const QString& builtInBaseUrl,
                 const QString& overrideUrl) {
  if (!overrideUrl.trimmed().isEmpty()) {
    return QUrl(overrideUrl.trimmed());
  }
  const QUrl configured(daySite.trimmed());
  const QUrl base = namesAHost(configured) ? configured : QUrl(builtInBaseUrl.trimmed());
  return rootPageOf(base);
}

}  // namespace kabuka
