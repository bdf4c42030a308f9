// The answers of an unattended job. Every box the program would show -- the
// data questions before a hand-off, the requests' confirmations, a failure's
// error box, the backup's name, the open-file dialog of a local image -- goes
// through the platform; this layer over it answers them instead, from what
// the command line said or with the safe default, and says each question and
// its answer on the console and in the log. Nothing waits for a person.
//
//   - a box without a choice (an error, a notice): OK;
//   - a Yes/No question: Yes when it begins with one of `yes`, else No (the
//     answer that goes no further: no data is risked, nothing is left);
//   - a question that `stop` recognises (a cancel button, closing the
//     window): Yes, and noted -- the person at the machine stopped the job;
//   - the text box (the backup's name): `text`, or Cancel when empty;
//   - the open-file dialog: `file`.
//
// With answering off (the countdown of /restart ask, where the person at the
// machine decides) every box is shown as usual.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "platform/forwarding_platform.h"

namespace mv {

struct UnattendedPolicy {
  std::vector<Text> yes;
  std::function<bool(const Text& question)> stop;
  Text text;
  Text file;
};

class AnsweringPlatform : public ForwardingPlatform {
 public:
  AnsweringPlatform(Platform& inner, UnattendedPolicy policy);

  void SetAnswering(bool on) { answering_ = on; }
  bool Answering() const { return answering_; }
  // True once a stop question was answered Yes.
  bool StoppedAtTheMachine() const { return stopped_; }

  int ShowMessageBox(const Text& text, uint32_t flags, const Text& caption, WindowRef owner) override;
  int AskWithCaptions(const Text& text, uint32_t flags, const Text& caption, WindowRef owner,
                      const std::vector<Text>& button_captions) override;
  bool AskText(const Text& prompt, const Text& title, const Text& initial, WindowRef owner, Text& answer) override;
  Text PickImageFile(WindowRef owner, const Text& title, const Text& filter, const Text& initial_name) override;

 private:
  int Answer(const Text& text, uint32_t flags, const Text& caption, const std::vector<Text>& button_captions);

  const UnattendedPolicy policy_;
  std::atomic<bool> answering_{true};
  std::atomic<bool> stopped_{false};
};

}  // namespace mv
