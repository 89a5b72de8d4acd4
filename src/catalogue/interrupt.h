#pragma once

#include <optional>

namespace tamro {

// Asked between files of a long listing whether the user wants it stopped.
class InterruptSource {
 public:
  virtual ~InterruptSource() = default;
  virtual bool CheckInterrupt() = 0;
};

// The user's pending input as the application's event queue holds it.
class PendingInput {
 public:
  virtual ~PendingInput() = default;
  // Qt key code of the next pending key press, left in the queue.
  virtual std::optional<int> PeekKey() = 0;
  // Takes that key press out of the queue.
  virtual void DropKey() = 0;
  // Whether a left or right button press is pending.
  virtual bool ButtonPending() = 0;
};

// Esc, the arrow keys and mouse presses stop a listing and stay queued for the view, which
// acts on them next; any other key is dropped so that typing ahead does not stop it.
class PendingInputInterrupt : public InterruptSource {
 public:
  explicit PendingInputInterrupt(PendingInput &input) : input_(input) {}
  bool CheckInterrupt() override;
  static bool IsStopKey(int qtKey);

 private:
  PendingInput &input_;
};

}  // namespace tamro
