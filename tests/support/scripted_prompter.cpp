#include "scripted_prompter.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
const char* kindName(ScriptedPrompter::Kind k) {
    switch (k) {
    case ScriptedPrompter::Kind::Message:
        return "message box";
    case ScriptedPrompter::Kind::OpenFile:
        return "open-file dialog";
    case ScriptedPrompter::Kind::SaveFile:
        return "save-file dialog";
    case ScriptedPrompter::Kind::Directory:
        return "directory chooser";
    case ScriptedPrompter::Kind::Font:
        return "font dialog";
    case ScriptedPrompter::Kind::Color:
        return "colour dialog";
    case ScriptedPrompter::Kind::Print:
        return "print dialog";
    }
    return "?";
}
} // namespace

ScriptedPrompter::~ScriptedPrompter() {
    if (!m_script.empty())
        ADD_FAILURE() << m_script.size() << " scripted answer(s) were never asked for, first a "
                      << kindName(m_script.front().kind) << " \""
                      << m_script.front().text.toStdString() << "\"";
}

ScriptedPrompter& ScriptedPrompter::expectMessage(const QString& caption, const QString& text,
                                                  MsgButton answer) {
    Step s;
    s.kind = Kind::Message;
    s.caption = caption;
    s.text = text;
    s.answer = answer;
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectOpenFile(std::optional<QString> answer) {
    Step s;
    s.kind = Kind::OpenFile;
    s.path = std::move(answer);
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectSaveFile(std::optional<QString> answer) {
    Step s;
    s.kind = Kind::SaveFile;
    s.path = std::move(answer);
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectDirectory(std::optional<QString> answer) {
    Step s;
    s.kind = Kind::Directory;
    s.path = std::move(answer);
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectFont(std::optional<QFont> answer, QColor color) {
    Step s;
    s.kind = Kind::Font;
    s.fontAnswer = std::move(answer);
    if (color.isValid())
        s.colorAnswer = color;
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectColor(std::optional<QColor> answer) {
    Step s;
    s.kind = Kind::Color;
    s.colorAnswer = answer;
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectPrint(std::optional<PrintRequest> answer) {
    Step s;
    s.kind = Kind::Print;
    s.printAnswer = std::move(answer);
    m_script.push_back(s);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::then(std::function<void()> f) {
    if (m_script.empty())
        ADD_FAILURE() << "then() needs a step before it";
    else
        m_script.back().action = std::move(f);
    return *this;
}

void ScriptedPrompter::verifyDone() {
    if (!m_script.empty()) {
        ADD_FAILURE() << m_script.size() << " scripted answer(s) left over, first a "
                      << kindName(m_script.front().kind) << " \""
                      << m_script.front().text.toStdString() << "\"";
        m_script.clear();
    }
}

const MessageRequest& ScriptedPrompter::lastMessage() const {
    static const MessageRequest none;
    for (auto it = m_seen.rbegin(); it != m_seen.rend(); ++it)
        if (it->kind == Kind::Message)
            return it->message;
    return none;
}

std::optional<ScriptedPrompter::Step> ScriptedPrompter::take(Kind kind, const QString& what) {
    if (m_script.empty()) {
        ADD_FAILURE() << "unscripted " << kindName(kind) << ": " << what.toStdString();
        // A loop that keeps asking would never end the test.
        if (++m_unscripted > 20)
            throw std::runtime_error("too many unscripted requests");
        return std::nullopt;
    }
    Step s = m_script.front();
    if (s.kind != kind) {
        ADD_FAILURE() << "expected a " << kindName(s.kind) << " but got a " << kindName(kind)
                      << ": " << what.toStdString();
        return std::nullopt;
    }
    m_script.pop_front();
    if (s.action)
        s.action();
    return s;
}

MsgButton ScriptedPrompter::message(const MessageRequest& request) {
    m_seen.push_back({Kind::Message, request, {}, request.caption});
    auto s = take(Kind::Message, request.caption + ": " + request.text);
    if (!s)
        return MsgButton::Cancel;
    if (!s->caption.isEmpty()) {
        EXPECT_EQ(request.caption.toStdString(), s->caption.toStdString());
    }
    if (!s->text.isEmpty()) {
        EXPECT_EQ(request.text.toStdString(), s->text.toStdString());
    }
    if (!hasButton(request.buttons, s->answer)) {
        ADD_FAILURE() << "scripted answer is not an offered button for: "
                      << request.text.toStdString();
        return MsgButton::Cancel;
    }
    return s->answer;
}

std::optional<QString> ScriptedPrompter::openFileName(const FileDialogRequest& request) {
    m_seen.push_back({Kind::OpenFile, {}, request, request.caption});
    auto s = take(Kind::OpenFile, request.caption);
    return s ? s->path : std::nullopt;
}

std::optional<QString> ScriptedPrompter::saveFileName(const FileDialogRequest& request) {
    m_seen.push_back({Kind::SaveFile, {}, request, request.caption});
    auto s = take(Kind::SaveFile, request.caption);
    return s ? s->path : std::nullopt;
}

std::optional<QString> ScriptedPrompter::directory(const QString& caption, const QString& start) {
    FileDialogRequest r;
    r.caption = caption;
    r.directory = start;
    m_seen.push_back({Kind::Directory, {}, r, caption});
    auto s = take(Kind::Directory, caption);
    return s ? s->path : std::nullopt;
}

std::optional<FontChoice> ScriptedPrompter::font(const FontChoice& initial,
                                                 const QString& caption) {
    m_seen.push_back({Kind::Font, {}, {}, caption, initial.color});
    auto s = take(Kind::Font, caption);
    if (!s || !s->fontAnswer)
        return std::nullopt;
    FontChoice chosen{*s->fontAnswer, initial.color};
    if (initial.color && s->colorAnswer)
        chosen.color = s->colorAnswer;
    return chosen;
}

std::optional<QColor> ScriptedPrompter::color(const QColor&, const QString& caption) {
    m_seen.push_back({Kind::Color, {}, {}, caption});
    auto s = take(Kind::Color, caption);
    return s ? s->colorAnswer : std::nullopt;
}

bool ScriptedPrompter::print(PrintRequest& request) {
    m_seen.push_back({Kind::Print, {}, {}, QStringLiteral("Print")});
    auto s = take(Kind::Print, QStringLiteral("Print"));
    if (!s || !s->printAnswer)
        return false;
    PrintRequest answer = *s->printAnswer;
    answer.maxPage = request.maxPage;
    request = answer;
    return true;
}
