#pragma once

#include <QIcon>
#include <QPixmap>

namespace kivora::res {

// Icon 128: the program's icon, at any size.
QIcon AppIcon();

// Bitmap 137: the banner across the top of the login dialog.
QPixmap LoginBanner(const QSize& size);

} // namespace kivora::res
