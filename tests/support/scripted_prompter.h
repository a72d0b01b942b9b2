#pragma once

#include "qstring_printer.h"
#include "ui/prompter.h"

#include <deque>
#include <functional>
#include <variant>
#include <vector>

// A Prompter that answers from a first-in-first-out script. A request nothing scripted, an
// answer that is not among the offered buttons, or answers left over fail the test.
class ScriptedPrompter : public Prompter {
public:
    enum class Kind { Message, OpenFile, SaveFile, Directory, Font, Color, Print };

    struct Step {
        Kind kind = Kind::Message;
        QString caption; // expected caption; empty = any
        QString text;    // expected message text; empty = any
        MsgButton answer = MsgButton::Ok;
        std::optional<QString> path; // file and directory answers; nullopt = cancelled
        std::optional<QFont> fontAnswer;
        std::optional<QColor> colorAnswer;
        std::optional<PrintRequest> printAnswer;
        std::function<void()> action; // runs when the step is taken
    };

    struct Seen {
        Kind kind;
        MessageRequest message; // for messages
        FileDialogRequest file; // for file dialogs
        QString caption;
        std::optional<QColor> fontColor = {}; // the colour a font dialog offered
    };

    ~ScriptedPrompter() override;

    // Script entries, taken in order.
    ScriptedPrompter& expectMessage(const QString& caption, const QString& text,
                                    MsgButton answer = MsgButton::Ok);
    ScriptedPrompter& expectOpenFile(std::optional<QString> answer);
    ScriptedPrompter& expectSaveFile(std::optional<QString> answer);
    ScriptedPrompter& expectDirectory(std::optional<QString> answer);
    // A font dialog; a valid colour is the colour chosen in it, otherwise the colour stays.
    ScriptedPrompter& expectFont(std::optional<QFont> answer, QColor color = {});
    ScriptedPrompter& expectColor(std::optional<QColor> answer);
    ScriptedPrompter& expectPrint(std::optional<PrintRequest> answer);
    // Runs f when the previous step is taken (e.g. to check state while a dialog is up).
    ScriptedPrompter& then(std::function<void()> f);

    bool done() const { return m_script.empty(); }
    // Fails the current test when scripted answers are left over, and clears them.
    void verifyDone();

    const std::vector<Seen>& seen() const { return m_seen; }
    const MessageRequest& lastMessage() const;
    int beeps() const { return m_beeps; }

    MsgButton message(const MessageRequest& request) override;
    void beep() override { ++m_beeps; }
    std::optional<QString> openFileName(const FileDialogRequest& request) override;
    std::optional<QString> saveFileName(const FileDialogRequest& request) override;
    std::optional<QString> directory(const QString& caption, const QString& start) override;
    std::optional<FontChoice> font(const FontChoice& initial, const QString& caption) override;
    std::optional<QColor> color(const QColor& initial, const QString& caption) override;
    bool print(PrintRequest& request) override;

private:
    std::optional<Step> take(Kind kind, const QString& what);

    std::deque<Step> m_script;
    std::vector<Seen> m_seen;
    int m_beeps = 0;
    int m_unscripted = 0;
};
