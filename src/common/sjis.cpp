#include "sjis.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kabuka {

namespace {
// Known to ICU under this name; QStringConverter::encodingForName() does not know it.
constexpr const char* kCodePage932 = "CP932";
}  // namespace

QString fromSjis(QByteArrayView bytes) {
  QStringDecoder decoder(kCodePage932);
  if (!decoder.isValid()) {
    return QString::fromLatin1(bytes.data(), bytes.size());
  }
  return decoder.decode(bytes);
}

QByteArray toSjis(QStringView text) {
  QStringEncoder encoder(kCodePage932);
  if (!encoder.isValid()) {
    return text.toLatin1();
  }
  return encoder.encode(text);
}

bool isValidUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString decoded = decoder.decode(bytes);
  Q_UNUSED(decoded);
  return !decoder.hasError();
}

bool hasNonAscii(QByteArrayView bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return true;
    }
  }
  return false;
}

}  // namespace kabuka
