#include "platform/movie_messages.h"

#include "platform/shell_context.h"

namespace tovrani {

MessageCounts::Kind* MessageCounts::Find(const char* kind) {
  const auto it = index_.find(kind);
  return it == index_.end() ? nullptr : &kinds_[it->second];
}

const MessageCounts::Kind* MessageCounts::Find(const char* kind) const {
  const auto it = index_.find(kind);
  return it == index_.end() ? nullptr : &kinds_[it->second];
}

bool MessageCounts::Take(const char* kind, const std::string& caption, bool question) {
  if (!kind) return true;
  Kind* k = Find(kind);
  if (!k) {
    index_.emplace(kind, kinds_.size());
    k = &kinds_.emplace_back();
    k->name = kind;
    k->caption = caption;
    k->question = question;
  }
  if (k->shown < kMessagesPerKind) {
    ++k->shown;
    return true;
  }
  ++k->held;
  return false;
}

void MessageCounts::SetAnswer(const char* kind, bool yes) {
  if (Kind* k = kind ? Find(kind) : nullptr) k->lastAnswer = yes;
}

bool MessageCounts::LastAnswer(const char* kind) const {
  const Kind* k = kind ? Find(kind) : nullptr;
  return k && k->lastAnswer;
}

std::vector<MessageCounts::Line> MessageCounts::TakeClosingLines() {
  std::vector<Line> lines;
  for (Kind& k : kinds_) {
    if (!k.held) continue;
    const bool one = k.held == 1;
    std::string text = std::to_string(k.held) + " more ";
    if (k.question)
      text += std::string(one ? "question" : "questions") + " about " + k.name + (one ? " was" : " were") +
              " not asked; " + (one ? "it" : "each") + " took the last answer given, " +
              (k.lastAnswer ? "Yes." : "No.");
    else
      text += std::string(one ? "message" : "messages") + " about " + k.name + (one ? " was" : " were") +
              " not shown.";
    lines.push_back({k.caption, std::move(text)});
    k.held = 0;
  }
  return lines;
}

void MessageCounts::Clear() {
  kinds_.clear();
  index_.clear();
}

void ShowWarning(ShellContext& ctx, const char* kind, const std::string& caption, const std::string& text) {
  if (ctx.m_pShell && ctx.m_messageCounts.Take(kind, caption, false)) ctx.m_pShell->ShowMessage(caption, text);
}

bool AskQuestion(ShellContext& ctx, const char* kind, const std::string& caption, const std::string& text,
                 bool defaultYes) {
  if (!ctx.m_pShell) return defaultYes;
  if (!ctx.m_messageCounts.Take(kind, caption, true)) return ctx.m_messageCounts.LastAnswer(kind);
  const bool yes = ctx.m_pShell->AskYesNo(caption, text, defaultYes);
  ctx.m_messageCounts.SetAnswer(kind, yes);
  return yes;
}

void ShowHeldMessageCounts(ShellContext& ctx) {
  if (!ctx.m_pShell) return;
  for (const MessageCounts::Line& line : ctx.m_messageCounts.TakeClosingLines())
    ctx.m_pShell->ShowMessage(line.caption, line.text);
}

}  // namespace tovrani
