// Messages a movie's conversion shows, counted by their kind. A movie of
// small malformed tags could otherwise print one line for each of them:
// megabytes of the same line. A kind is the place that shows the message,
// named by a short phrase ("sounds that cannot be read"); at most
// kMessagesPerKind of a kind are shown a movie, and one line at the end of
// the movie counts the rest.
//
// Counted: what a movie can repeat per tag or per element. Shown always,
// through ShellServices::ShowMessage or with kAlwaysShown as the kind: the
// first refusal of an allowance, the closing counts, failures and what a
// movie says once.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tovrani {

struct ShellContext;

constexpr uint32_t kMessagesPerKind = 100;
// The kind of a message that is never held back.
constexpr const char* kAlwaysShown = nullptr;

class MessageCounts {
 public:
  // Counts a message of `kind`; true while it is among the first
  // kMessagesPerKind of its kind.
  bool Take(const char* kind, const std::string& caption, bool question);
  // The answer a question of `kind` was last given (asked past the cap, a
  // question takes it).
  void SetAnswer(const char* kind, bool yes);
  bool LastAnswer(const char* kind) const;

  struct Line {
    std::string caption, text;
  };
  // For each kind some of whose messages were held back since the last call,
  // in the order the kinds first came: its caption and how many. The kinds
  // keep their counts until Clear.
  std::vector<Line> TakeClosingLines();
  // A new movie: every kind starts from zero.
  void Clear();

 private:
  struct Kind {
    std::string name, caption;
    uint32_t shown = 0;
    uint64_t held = 0;
    bool question = false;
    bool lastAnswer = false;
  };
  Kind* Find(const char* kind);
  const Kind* Find(const char* kind) const;

  std::vector<Kind> kinds_;
  std::unordered_map<std::string, size_t> index_;
};

// Shows a message of `kind` while its kind is below the cap (kAlwaysShown:
// always). Does nothing without a shell.
void ShowWarning(ShellContext& ctx, const char* kind, const std::string& caption, const std::string& text);
// Asks a question of `kind`. Past the cap it is not asked again: it takes
// the answer the last one of its kind was given, as the closing line says.
// Without a shell: `defaultYes`.
bool AskQuestion(ShellContext& ctx, const char* kind, const std::string& caption, const std::string& text,
                 bool defaultYes);
// Shows the closing lines of the kinds held back (where the movie's
// allowances show theirs).
void ShowHeldMessageCounts(ShellContext& ctx);

}  // namespace tovrani
