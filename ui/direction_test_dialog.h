#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "core/direction_test.h"
#include "core/messages.h"
#include "core/settings.h"

class QLabel;
class QPushButton;

namespace kestrane {

class Engine;

// The direction test on the engine's open stick as a modal dialog over `parent`: shifting and the
// pattern's forces stop meanwhile; a passed test is saved. Problems go to `messages`.
void RunDirectionTestFlow(Engine& engine, QWidget* parent, MessageSink& messages);

// The force-feedback direction test as a dialog: for each step it plays the step's spring and
// asks where the stick went (Yes / No, it moved the other way / It did not move). Closing it,
// whenever and however, stops the spring.
class DirectionTestDialog final : public QDialog {
  Q_OBJECT

 public:
  // The test on the device `effects` play on, under their lock (DirectionTestRun).
  DirectionTestDialog(ForceFeedback& effects, const Settings& settings, QWidget* parent = nullptr);

  // Once every step was answered: the verdict (the dialog then shows its message).
  const std::optional<DirectionVerdict>& Verdict() const { return verdict_; }
  // Answers the current step as its button does.
  void Answer(DirectionAnswer answer);

  QLabel* question = nullptr;
  QPushButton* yes_button = nullptr;
  QPushButton* other_way_button = nullptr;
  QPushButton* no_move_button = nullptr;
  QPushButton* close_button = nullptr;

 protected:
  void done(int result) override;

 private:
  void Build();
  void PlayStep();

  const Settings& settings_;
  DirectionTestRun run_;
  std::size_t step_ = 0;
  std::array<DirectionAnswer, 4> answers_{};
  std::optional<DirectionVerdict> verdict_;
};

}  // namespace kestrane
