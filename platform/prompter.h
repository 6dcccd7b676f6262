// Message boxes and questions go through here, so that tests can answer them.
#pragma once

#include <QString>
#include <vector>

class QWidget;

namespace brevik::platform {

class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual void inform(QWidget* parent, const QString& text) = 0;
    virtual void warn(QWidget* parent, const QString& text) = 0;
    virtual bool ask(QWidget* parent, const QString& text) = 0;

    // The prompter in use: message boxes unless a test installed its own.
    static Prompter& current();
    static void install(Prompter* prompter);  // null: back to message boxes
};

// Records every message and answers questions with a fixed reply.
class RecordingPrompter final : public Prompter {
  public:
    explicit RecordingPrompter(bool answer = true) : answer_(answer) {}
    void inform(QWidget*, const QString& text) override { messages.push_back(text); }
    void warn(QWidget*, const QString& text) override { messages.push_back(text); }
    bool ask(QWidget*, const QString& text) override {
        messages.push_back(text);
        return answer_;
    }
    std::vector<QString> messages;

  private:
    bool answer_;
};

}  // namespace brevik::platform
