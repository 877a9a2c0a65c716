#pragma once

#include <QIcon>
#include <QPixmap>

namespace kivora::res {

// Icon 128: the program's icon, at any size.
QIcon AppIcon();

// Bitmap 170: the visitor list's row images, 16 pixels square: 0 a chat request,
// 1 a visitor sent a proactive invitation. Any other index is no image.
QPixmap RowImage(int index);

// Bitmap 137: the banner across the top of the login dialog.
QPixmap LoginBanner(const QSize& size);

} // namespace kivora::res
