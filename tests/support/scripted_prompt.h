// A Prompt for tests: records every request and answers from a script.
// When the script is empty it answers the safe way (Cancel, No, OK), so a
// test never blocks on a question.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/prompt.h"

namespace cfg::test {

class ScriptedPrompt : public Prompt {
 public:
  Answer ask(const PromptRequest& request) override;

  // Answers for the next questions, in order.
  void script(std::initializer_list<Answer> answers);
  std::vector<PromptRequest> shown() const;
  std::vector<std::string> texts() const;
  std::size_t count() const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::deque<Answer> answers_;
  std::vector<PromptRequest> shown_;
};

}  // namespace cfg::test
