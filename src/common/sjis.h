#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace kabuka {

// Shift-JIS as Windows writes it (code page 932, with the NEC and IBM extensions).
// Decode only what is shown or compared: code page 932 has characters with two
// byte forms, so a decode/encode round trip may change bytes that were carried.
QString fromSjis(QByteArrayView bytes);
QByteArray toSjis(QStringView text);

// True when the bytes are well-formed UTF-8 (a leading byte-order mark allowed).
bool isValidUtf8(QByteArrayView bytes);
// True when any byte is outside ASCII.
bool hasNonAscii(QByteArrayView bytes);

}  // namespace kabuka
