#include "tests/support/scripted_prompt.h"

namespace cfg::test {

Answer ScriptedPrompt::ask(const PromptRequest& request) {
  std::lock_guard lock(mutex_);
  shown_.push_back(request);
  if (!answers_.empty()) {
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  switch (request.buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::OkCancel:
    case Buttons::RetryCancel: return Answer::Cancel;
  }
  return Answer::Cancel;
}

void ScriptedPrompt::script(std::initializer_list<Answer> answers) {
  std::lock_guard lock(mutex_);
  answers_.insert(answers_.end(), answers);
}

std::vector<PromptRequest> ScriptedPrompt::shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedPrompt::texts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> t;
  for (const auto& r : shown_) t.push_back(r.text);
  return t;
}

std::size_t ScriptedPrompt::count() const {
  std::lock_guard lock(mutex_);
  return shown_.size();
}

void ScriptedPrompt::clear() {
  std::lock_guard lock(mutex_);
  shown_.clear();
  answers_.clear();
}

}  // namespace cfg::test
