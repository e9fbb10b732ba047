#include "framework/ResourceIcon.h"

#include <QFile>
#include <QFileInfo>

QIcon ResourceIcon(const QString& file) {
    const QString base = QStringLiteral(":/icons/");
    QIcon icon(base + file);
    const QString name = QFileInfo(file).completeBaseName();
    for (int pixels : {32, 48, 64, 128, 256}) {
        const QString larger = base + name + QStringLiteral("-%1.png").arg(pixels);
        if (QFile::exists(larger)) icon.addFile(larger, QSize(pixels, pixels));
    }
    return icon;
}
