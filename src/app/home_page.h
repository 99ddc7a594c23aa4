#pragma once

#include <QString>
#include <QUrl>

namespace kabuka {

// The page the logo opens: the root page of the data server's host, so the user
// lands on the site the prices come from. `daySite` is the configured base URL
// (empty when settei.txt names none); a non-empty `overrideUrl`, fixed at build
// time, wins over both.
QUrl homePageUrl(const QString& daySite, const QString& builtInBaseUrl, const QString& overrideUrl);

}  // namespace kabuka
