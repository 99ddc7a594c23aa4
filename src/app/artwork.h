#pragma once

#include <QIcon>
#include <QPixmap>

namespace kabuka {

// Our own artwork, drawn at start-up so no image files travel with the program.
inline constexpr QSize kLogoSize{79, 28};
inline constexpr QSize kIconSize{32, 32};

QPixmap drawLogo();  // shown unscaled in Image1
QIcon drawIcon();    // the window's icon

}  // namespace kabuka
