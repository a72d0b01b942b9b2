#pragma once

#include <QIcon>
#include <QString>

#include <functional>

// The small pictures of the speed buttons (by component name) and of the record navigator.
QIcon speedGlyph(const QString& name);
QIcon navigatorGlyph(int button);
