#pragma once

#include <QFont>
#include <QString>

namespace kabuka {

// The face every text of the window asks for.
inline const QString kFormFontFamily = QStringLiteral("ＭＳ ゴシック");

// Points the form's face at the Japanese gothic face installed here; fontconfig
// alone would hand out a Latin face without the kana and kanji. Returns the face
// used, or an empty text when none of the known faces is installed (the text then
// falls back to whatever the system offers). Needs a running QGuiApplication.
QString installGothicSubstitute();

// The form's face at a size in points, as the layout gives it.
QFont formFont(double points, QFont::Weight weight = QFont::Normal);

}  // namespace kabuka
