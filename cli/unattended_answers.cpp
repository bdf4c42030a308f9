#include "cli/unattended_answers.h"

#include "core/console.h"

namespace mv {
namespace {

bool StartsWithAny(const Text& text, const std::vector<Text>& starts) {
  for (const Text& s : starts)
    if (!s.empty() && text.compare(0, s.size(), s) == 0) return true;
  return false;
}

// A box's text on one line.
Text OneLine(const Text& text) {
  Text out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    out += text[i] == '\n' ? ' ' : text[i];
  }
  return out;
}

// "错误：" and "错误" alike give "错误：".
Text Lead(const Text& caption) {
  const Text colon = "：";
  Text c = caption.empty() ? Text("信息") : caption;
  if (c.size() >= colon.size() && c.compare(c.size() - colon.size(), colon.size(), colon) == 0)
    c.resize(c.size() - colon.size());
  while (!c.empty() && c.back() == ':') c.pop_back();
  return c + colon;
}

Text ButtonName(int answer, const std::vector<Text>& captions) {
  const size_t i = static_cast<size_t>(answer);
  if (i < captions.size() && !captions[i].empty()) return captions[i];
  switch (answer) {
    case kResYes:
      return "是";
    case kResNo:
      return "否";
    case kResCancel:
      return "取消";
    default:
      return "确定";
  }
}

}  // namespace

AnsweringPlatform::AnsweringPlatform(Platform& inner, UnattendedPolicy policy)
    : ForwardingPlatform(inner), policy_(std::move(policy)) {}

int AnsweringPlatform::Answer(const Text& text, uint32_t flags, const Text& caption,
                              const std::vector<Text>& button_captions) {
  const uint32_t buttons = flags & 0xF;
  if (buttons == kMbOk) {
    Say(Lead(caption) + OneLine(text));
    return kResOk;
  }
  int answer;
  if (policy_.stop && policy_.stop(text)) {
    stopped_ = true;
    answer = buttons == kMbOkCancel ? kResOk : kResYes;
  } else if (StartsWithAny(text, policy_.yes)) {
    answer = buttons == kMbOkCancel ? kResOk : kResYes;
  } else {
    answer = buttons == kMbOkCancel ? kResCancel : kResNo;
  }
  Say("问题（" + OneLine(caption) + "）：" + OneLine(text) + " —— 无人值守回答：" + ButtonName(answer, button_captions));
  return answer;
}

int AnsweringPlatform::ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) {
  if (!answering_) return ForwardingPlatform::ShowMessageBox(text, flags, caption, owner);
  return Answer(text, flags, caption, {});
}

int AnsweringPlatform::AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                                       const std::vector<Text>& button_captions) {
  if (!answering_) return ForwardingPlatform::AskWithCaptions(text, flags, caption, owner, button_captions);
  return Answer(text, flags, caption, button_captions);
}

bool AnsweringPlatform::AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
                                Text& answer) {
  if (!answering_) return ForwardingPlatform::AskText(prompt, title, initial, owner, answer);
  Say("输入（" + OneLine(title) + "）：" + OneLine(prompt) + " —— 无人值守回答：" +
      (policy_.text.empty() ? Text("取消") : policy_.text));
  if (policy_.text.empty()) return false;
  answer = policy_.text;
  return true;
}

Text AnsweringPlatform::PickImageFile(WindowRef owner, const Text& title, const Text& filter,
                                      const Text& initial_name) {
  if (!answering_) return ForwardingPlatform::PickImageFile(owner, title, filter, initial_name);
  Say("选择文件（" + OneLine(title) + "）—— 无人值守回答：" + (policy_.file.empty() ? Text("取消") : policy_.file));
  return policy_.file;
}

}  // namespace mv
