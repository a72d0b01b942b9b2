#include "mainwindow/main_window_rules.h"

void DoLastFiles(RecentFileList& list, const QString& previousPath, const QString& newPath) {
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (list[i] == newPath) {
            for (int j = i; j < kRecentFileCount - 1; ++j)
                list[j] = list[j + 1];
            list[kRecentFileCount - 1].clear();
            break;
        }
    }
    for (int j = kRecentFileCount - 1; j > 0; --j)
        list[j] = list[j - 1];
    list[0] = previousPath;
}

QString recentFileCaption(int number, const QString& path) {
    return QStringLiteral("&%1   %2").arg(number).arg(path);
}

ButtonBarMode buttonBarModeFrom(int setting) {
    switch (setting) {
    case 2:
        return ButtonBarMode::Lettered;
    case 3:
        return ButtonBarMode::None;
    default:
        return ButtonBarMode::Speed;
    }
}

ButtonBarLayout buttonBarLayout(ButtonBarMode mode, int cw, int ch) {
    ButtonBarLayout l{};
    switch (mode) {
    case ButtonBarMode::Speed:
        l = {424, 3, 241, 44, 38, 52, 34, ch - 37, 0, 38, 70, ch - 77, 0};
        break;
    case ButtonBarMode::Lettered:
        l = {400, 47, 221, 96, 90, 105, 86, ch - 89, 0, 90, 122, ch - 129, 0};
        break;
    case ButtonBarMode::None:
        l = {cw - 207, 8, 201, 14, 8, 23, 4, ch - 7, 0, 8, 40, ch - 47, 0};
        break;
    }
    l.viewerBevelWidth = cw - 6;
    l.viewerGridWidth = cw - 14;
    return l;
}

std::optional<ScreenPreset> screenPreset(int windowSize) {
    switch (windowSize) {
    case 640:
        return ScreenPreset{640, 480, 1.0};
    case 800:
        return ScreenPreset{800, 600, 1.25};
    case 1024:
        return ScreenPreset{1024, 768, 1.6};
    case 1280:
        return ScreenPreset{1280, 1024, 2.0};
    default:
        return std::nullopt;
    }
}

double scaleFactorFor(int windowSize, const QSize& screen) {
    const auto p = screenPreset(windowSize);
    if (!p || screen.width() < p->width || screen.height() < p->height)
        return 1.0;
    return p->factor;
}

QString presetRefusal(int windowSize, const QSize& screen) {
    const auto p = screenPreset(windowSize);
    if (!p || windowSize == 640 || (screen.width() >= p->width && screen.height() >= p->height))
        return {};
    return QStringLiteral("Your current screen resolution does not support %1 x %2 pixels.")
        .arg(p->width)
        .arg(p->height);
}
