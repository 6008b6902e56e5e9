// SPDX-License-Identifier: GPL-3.0-or-later
// The one interface through which the program shows a message box: the real dialog in the
// panel, a scripted answerer in tests, stderr in the command-line tools.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace quorvell {

enum class MessageIcon { None, Information, Warning };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

struct Message {
    std::string text;
    std::string caption;  // empty: the application's title
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the message and returns the operator's answer (modal for the caller).
    virtual MessageAnswer Show(const Message& message) = 0;
};

// Records every message and answers from a script (Ok once the script is used up).
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer Show(const Message& message) override {
        shown.push_back(message);
        if (answers.empty()) {
            return MessageAnswer::Ok;
        }
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::deque<MessageAnswer> answers;
    std::vector<Message> shown;
};

}  // namespace quorvell
