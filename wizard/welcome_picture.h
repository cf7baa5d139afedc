// The welcome page's picture: the 5.6 database passing into the 6.0 one,
// drawn rather than shipped as a file.
#pragma once

#include <QPixmap>

namespace velmora {

QPixmap WelcomePicture(int width, int height);

}  // namespace velmora
