#include "fonts.h"

#include "app/twips.h"

#include <QFontDatabase>
#include <QStringList>

namespace kabuka {

namespace {

// Fixed-pitch gothic faces first, as the form's face is one; the order is the
// order of preference.
const QStringList& gothicCandidates() {
  static const QStringList candidates = {
      QStringLiteral("IPAGothic"),        QStringLiteral("IPAゴシック"),
      QStringLiteral("IPAexGothic"),      QStringLiteral("Noto Sans Mono CJK JP"),
      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("TakaoGothic"),
      QStringLiteral("VL Gothic"),
  };
  return candidates;
}

}  // namespace

QString installGothicSubstitute() {
  const QStringList installed = QFontDatabase::families();
  for (const QString& face : gothicCandidates()) {
    if (installed.contains(face, Qt::CaseInsensitive)) {
      QFont::insertSubstitution(kFormFontFamily, face);
      return face;
    }
  }
  return {};
}

QFont formFont(double points, QFont::Weight weight) {
  QFont font(kFormFontFamily);
  font.setPixelSize(units::pointsToPixels(points));
  font.setWeight(weight);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

}  // namespace kabuka
