#pragma once

#include "ui/prompter.h"

class QWidget;

// The Prompter the running program uses: real Qt dialogs over the active window.
class QtPrompter : public Prompter {
public:
    MsgButton message(const MessageRequest& request) override;
    void beep() override;
    std::optional<QString> openFileName(const FileDialogRequest& request) override;
    std::optional<QString> saveFileName(const FileDialogRequest& request) override;
    std::optional<QString> directory(const QString& caption, const QString& start) override;
    std::optional<FontChoice> font(const FontChoice& initial, const QString& caption) override;
    std::optional<QColor> color(const QColor& initial, const QString& caption) override;
    bool print(PrintRequest& request) override;

private:
    static QWidget* parentWidget();
};
