#pragma once
#include <QIcon>
#include <QString>

// The icon `file` of the resources (":/icons/<file>", drawn for its own small
// size) together with the larger renderings beside it, "<name>-<pixels>.png",
// so that the icon stays sharp on screens with more pixels per point.
QIcon ResourceIcon(const QString& file);
