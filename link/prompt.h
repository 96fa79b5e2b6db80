// The Prompt port: every message box of the core goes through here.
//
// The core never shows a window. What the user must see or answer is put to
// a Prompt as text, title, icon, buttons and default button; the answer comes
// back as one of the buttons. The GUI implements it with message boxes,
// cfgctl answers from its options, and tests script it.
//
// Messages also carries the two process-wide message flags: unattended runs
// clear them so that no box waits for a user.
#pragma once

#include <atomic>
#include <string>

namespace cfg {

enum class Icon { None, Error, Info, Warning, Question };
enum class Buttons { Ok, OkCancel, YesNo, RetryCancel };
enum class Answer { Ok, Cancel, Yes, No, Retry };

struct PromptRequest {
  std::string text;    // Windows-1252 bytes, as the system writes them
  std::string title;
  Icon icon = Icon::None;
  Buttons buttons = Buttons::Ok;
  Answer defaultButton = Answer::Ok;
  bool systemModal = false;  // link and transaction errors: no owner window, on top
};

class Prompt {
 public:
  virtual ~Prompt() = default;
  // Shows the request and returns the button chosen. May be called from a
  // worker thread; an implementation must then block until it has the answer.
  virtual Answer ask(const PromptRequest& request) = 0;
};

// The titles of the system's message boxes.
inline constexpr const char* kErrorTitle = "Error Message";
inline constexpr const char* kInfoTitle = "Info Message";
inline constexpr const char* kWarningTitle = "Warning Message";
inline constexpr const char* kQuestionTitle = "Question Message";

struct MessageFlags {
  // When false, failures while opening a Link return 0 without a box.
  std::atomic<bool> showLinkErrors{true};
  // When false, an exhausted transaction returns 0 without the Retry/Cancel box.
  std::atomic<bool> askOnFailure{true};
};

class Messages {
 public:
  explicit Messages(Prompt& prompt) : prompt_(&prompt) {}
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  // Switched by unattended runs while others hold the Messages read-only.
  mutable MessageFlags flags;

  Prompt& prompt() const { return *prompt_; }
  void setPrompt(Prompt& prompt) { prompt_ = &prompt; }

  Answer ask(const PromptRequest& request) const { return prompt_->ask(request); }
  // "Error Message", stop icon, OK.
  void error(std::string text, std::string title = kErrorTitle) const;
  // "Info Message", information icon, OK.
  void info(std::string text, std::string title = kInfoTitle) const;
  // "Warning Message", exclamation icon, OK.
  void warning(std::string text, std::string title = kWarningTitle) const;
  // Yes/No with No as default; true on Yes.
  bool confirm(std::string text, std::string title, Icon icon = Icon::Question) const;
  // An open failure of a Link: shown only while showLinkErrors is set.
  void linkError(std::string text) const;

 private:
  Prompt* prompt_;
};

// Clears (or sets) both message flags for the lifetime of the guard and
// restores the values it found, so that nested unattended runs never turn
// prompts back on half way.
class MessageFlagsGuard {
 public:
  MessageFlagsGuard(MessageFlags& flags, bool showLinkErrors, bool askOnFailure);
  ~MessageFlagsGuard();
  MessageFlagsGuard(const MessageFlagsGuard&) = delete;
  MessageFlagsGuard& operator=(const MessageFlagsGuard&) = delete;

 private:
  MessageFlags& flags_;
  bool savedShow_;
  bool savedAsk_;
};

// Only askOnFailure, saved and restored (e.g. while probing optional reader modules).
class AskOnFailureGuard {
 public:
  AskOnFailureGuard(MessageFlags& flags, bool askOnFailure);
  ~AskOnFailureGuard();
  AskOnFailureGuard(const AskOnFailureGuard&) = delete;
  AskOnFailureGuard& operator=(const AskOnFailureGuard&) = delete;

 private:
  MessageFlags& flags_;
  bool saved_;
};

}  // namespace cfg
