#ifndef CIPHERBENCH_APP_APPICON_H
#define CIPHERBENCH_APP_APPICON_H

#include <QIcon>

// The application icon from the resources. PNG sizes rather than the SVG, so
// that showing it needs no image-format plugin beyond Qt Gui's own.
QIcon applicationIcon();

#endif
