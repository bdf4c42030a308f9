// The fake platform: scripted message boxes, questions and file picks.
#include "platform/fake/fake_impl.h"

namespace mv {

// ---- Dialogs -------------------------------------------------------------------------

int FakePlatform::ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) {
  FakeDialog d;
  d.text = text;
  d.caption = caption.empty() ? Text("信息：") : caption;
  d.flags = flags;
  d.owner = owner;
  return impl_->Answer(d);
}

bool FakePlatform::AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner,
                           Text& answer) {
  FakeDialog d;
  d.text = prompt;
  d.caption = title;
  d.owner = owner;
  d.input_box = true;
  d.input = initial;
  bool ok = true;
  Text typed = initial;
  {
    LockGuard g(impl_->mu);
    if (!impl_->text_answers.empty()) {
      ok = impl_->text_answers.front().first;
      typed = impl_->text_answers.front().second;
      impl_->text_answers.pop_front();
    }
    d.answer = ok ? kResOk : kResCancel;
    impl_->dialogs.push_back(d);
  }
  if (ok) answer = typed;
  return ok;
}

void FakePlatform::QueueTextAnswer(const Text& text) {
  LockGuard g(impl_->mu);
  impl_->text_answers.emplace_back(true, text);
}

void FakePlatform::QueueTextCancel() {
  LockGuard g(impl_->mu);
  impl_->text_answers.emplace_back(false, Text());
}

int FakePlatform::AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                                  const std::vector<Text>& button_captions) {
  static const char* const kDefaults[7] = {"确认", "取消", "终止", "重试", "忽略", "是", "否"};
  FakeDialog d;
  d.text = text;
  d.caption = caption.empty() ? Text("提示：") : caption;
  d.flags = flags;
  d.owner = owner;
  for (size_t i = 0; i < 7; ++i) {
    d.buttons.push_back(i < button_captions.size() && !button_captions[i].empty() ? button_captions[i]
                                                                                  : Text(kDefaults[i]));
  }
  return impl_->Answer(d);
}

}  // namespace mv
