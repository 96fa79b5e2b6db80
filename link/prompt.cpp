#include "link/prompt.h"

#include <utility>

namespace cfg {

void Messages::error(std::string text, std::string title) const {
  prompt_->ask({std::move(text), std::move(title), Icon::Error, Buttons::Ok, Answer::Ok, false});
}

void Messages::info(std::string text, std::string title) const {
  prompt_->ask({std::move(text), std::move(title), Icon::Info, Buttons::Ok, Answer::Ok, false});
}

void Messages::warning(std::string text, std::string title) const {
  prompt_->ask({std::move(text), std::move(title), Icon::Warning, Buttons::Ok, Answer::Ok, false});
}

bool Messages::confirm(std::string text, std::string title, Icon icon) const {
  return prompt_->ask({std::move(text), std::move(title), icon, Buttons::YesNo, Answer::No, false}) ==
         Answer::Yes;
}

void Messages::linkError(std::string text) const {
  if (!flags.showLinkErrors.load()) return;
  prompt_->ask({std::move(text), kErrorTitle, Icon::Error, Buttons::Ok, Answer::Ok, true});
}

MessageFlagsGuard::MessageFlagsGuard(MessageFlags& flags, bool showLinkErrors, bool askOnFailure)
    : flags_(flags),
      savedShow_(flags.showLinkErrors.exchange(showLinkErrors)),
      savedAsk_(flags.askOnFailure.exchange(askOnFailure)) {}

MessageFlagsGuard::~MessageFlagsGuard() {
  flags_.showLinkErrors.store(savedShow_);
  flags_.askOnFailure.store(savedAsk_);
}

AskOnFailureGuard::AskOnFailureGuard(MessageFlags& flags, bool askOnFailure)
    : flags_(flags), saved_(flags.askOnFailure.exchange(askOnFailure)) {}

AskOnFailureGuard::~AskOnFailureGuard() { flags_.askOnFailure.store(saved_); }

}  // namespace cfg
