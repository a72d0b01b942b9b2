#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>

// Every message box, question, beep and common dialog of the program goes through one
// Prompter. The window layer supplies the Qt implementation; tests supply a scripted one, so
// the exact texts and captions the user would see can be checked without a display.

enum class MsgIcon { None, Information, Warning, Error, Question };

// Values chosen to combine into a set of offered buttons.
enum class MsgButton : unsigned { None = 0, Ok = 1, Cancel = 2, Yes = 4, No = 8 };

using MsgButtons = unsigned;

constexpr MsgButtons operator|(MsgButton a, MsgButton b) {
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr bool hasButton(MsgButtons set, MsgButton b) {
    return (set & static_cast<unsigned>(b)) != 0;
}

struct MessageRequest {
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = static_cast<unsigned>(MsgButton::Ok);
    MsgButton defaultButton = MsgButton::Ok;
};

struct FileDialogRequest {
    QString caption;
    QString directory;             // where the dialog starts
    QString fileName;              // proposed name, may be empty
    QStringList filters;           // "dBase Files (*.dbf *.DBF)" style entries
    QString defaultSuffix;         // added when the user types a name without one
    bool mustExist = false;        // open dialogs: only existing files
    bool confirmOverwrite = false; // save dialogs: replacing a file asks first
};

// What the user chose in the print dialog.
struct PrintRequest {
    QString printerName;    // empty: the default printer
    QString outputFileName; // non-empty: print to this PDF file
    int copies = 1;
    int fromPage = 0; // 0 = all pages
    int toPage = 0;
    int maxPage = 0; // offered range, 0 = no range
};

// A font and, for the fonts drawn in a colour of their own (the grid's, a report's), that
// colour; the dialog offers a colour only when the caller has one.
struct FontChoice {
    QFont font;
    std::optional<QColor> color;
};

class Prompter {
public:
    virtual ~Prompter() = default;

    virtual MsgButton message(const MessageRequest& request) = 0;
    virtual void beep() = 0;

    virtual std::optional<QString> openFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> directory(const QString& caption, const QString& start) = 0;
    virtual std::optional<FontChoice> font(const FontChoice& initial, const QString& caption) = 0;
    virtual std::optional<QColor> color(const QColor& initial, const QString& caption) = 0;
    // Fills in the request; false when the user cancelled.
    virtual bool print(PrintRequest& request) = 0;

    // The fixed message kinds of the program, so callers state intent, not buttons.
    void error(const QString& text) {
        message({QStringLiteral("Error"), text, MsgIcon::Error,
                 static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    }
    void notice(const QString& text) {
        message({QStringLiteral("Notice"), text, MsgIcon::Information,
                 static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
    }
    bool confirm(const QString& text) {
        return message({QStringLiteral("Confirm"), text, MsgIcon::Question,
                        MsgButton::Yes | MsgButton::No, MsgButton::Yes}) == MsgButton::Yes;
    }
    // Questions that can lose data: No is the default and the question beep comes first.
    bool warn(const QString& text) {
        beep();
        return message({QStringLiteral("Warning"), text, MsgIcon::Warning,
                        MsgButton::Yes | MsgButton::No, MsgButton::No}) == MsgButton::Yes;
    }
};
