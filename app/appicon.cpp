#include "app/appicon.h"

#include <QString>

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/cipherbench-%1.png").arg(size), QSize(size, size));
    return icon;
}
