#pragma once

#include "ui/prompter.h"

// Benchmarks never ask the user anything: every message takes its default button and every
// dialog is cancelled.
class SilentPrompter : public Prompter {
public:
    MsgButton message(const MessageRequest& r) override { return r.defaultButton; }
    void beep() override {}
    std::optional<QString> openFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> saveFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> directory(const QString&, const QString&) override { return {}; }
    std::optional<FontChoice> font(const FontChoice&, const QString&) override { return {}; }
    std::optional<QColor> color(const QColor&, const QString&) override { return {}; }
    bool print(PrintRequest&) override { return false; }
};
