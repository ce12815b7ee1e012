#pragma once
// Answers the window's questions in place of the user and records what was asked.

#include "UserPrompts.h"

#include <deque>
#include <functional>
#include <vector>

namespace marlin::test {

class FakeUserPrompts final : public UserPrompts {
public:
    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    struct SaveDialog {
        QString title;
        QString filter;
        QString proposedPath;
    };

    // Answers given in order; when none is queued, defaultAnswer.
    std::deque<QMessageBox::StandardButton> answers;
    QMessageBox::StandardButton defaultAnswer = QMessageBox::NoButton;
    // Runs while the question is "open", before it is answered (the user acting meanwhile).
    std::function<void(const Message&)> whileOpen;
    std::vector<Message> messages;

    std::optional<QString> saveAnswer;
    std::vector<SaveDialog> saveDialogs;

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& title,
                                        const QString& text, QMessageBox::StandardButtons buttons) override {
        messages.push_back({icon, title, text, buttons});
        if (whileOpen) whileOpen(messages.back());
        if (answers.empty()) return defaultAnswer;
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<QString> saveFileName(QWidget*, const QString& title, const QString& filter,
                                        const QString& proposedPath) override {
        saveDialogs.push_back({title, filter, proposedPath});
        return saveAnswer;
    }
};

}  // namespace marlin::test
