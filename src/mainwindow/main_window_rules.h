#pragma once

#include <QSize>
#include <QString>

#include <array>
#include <optional>

// The rules of the main window that need no widgets: the recent-files list, the button-bar
// layouts and the screen-size presets.

constexpr int kRecentFileCount = 5;
using RecentFileList = std::array<QString, kRecentFileCount>;

// After a switch from previousPath to newPath: newPath leaves the list, everything moves
// down one place and previousPath becomes entry 1.
void DoLastFiles(RecentFileList& list, const QString& previousPath, const QString& newPath);
// The caption of recent-files item i (1-based): "&i", three spaces, the path.
QString recentFileCaption(int number, const QString& path);

enum class ButtonBarMode { Speed = 1, Lettered = 2, None = 3 };
// A Button Bar setting outside 1..3 is taken as speed buttons.
ButtonBarMode buttonBarModeFrom(int setting);

struct ButtonBarLayout {
    int navigatorLeft, navigatorTop, navigatorWidth;
    int searchOnTop;
    int countTop, count2Top;
    int viewerBevelTop, viewerBevelHeight, viewerBevelWidth;
    int viewerLabelTop;
    int viewerGridTop, viewerGridHeight, viewerGridWidth;
};
// The control rows of a mode for a client area of cw x ch pixels (design scale).
ButtonBarLayout buttonBarLayout(ButtonBarMode mode, int cw, int ch);

// Screen-size presets: 640, 800, 1024 or 1280 (the preset's width).
struct ScreenPreset {
    int width;
    int height;
    double factor;
};
std::optional<ScreenPreset> screenPreset(int windowSize);
// The factor a stored Window Size gives on this screen: 1.0 when the screen is too small.
double scaleFactorFor(int windowSize, const QSize& screen);
// The refusal shown when the screen is smaller than the preset, else empty.
QString presetRefusal(int windowSize, const QSize& screen);
