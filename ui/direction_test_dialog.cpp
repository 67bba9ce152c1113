#include "ui/direction_test_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/engine.h"

namespace kestrane {

DirectionTestDialog::DirectionTestDialog(ForceFeedback& effects, const Settings& settings,
                                         QWidget* parent)
    : QDialog(parent), settings_(settings), run_(effects) {
  Build();
}

void DirectionTestDialog::Build() {
  setObjectName(QStringLiteral("DirectionTest"));
  setWindowTitle(QStringLiteral("Force feedback directions"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Let go of the stick. Kestrane pulls it gently one way at a time; say where "
                     "it went."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  question = new QLabel(this);
  question->setObjectName(QStringLiteral("Question"));
  question->setWordWrap(true);
  QFont bold = question->font();
  bold.setBold(true);
  question->setFont(bold);
  question->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(question);

  auto* row = new QHBoxLayout;
  yes_button = new QPushButton(QStringLiteral("&Yes"), this);
  other_way_button = new QPushButton(QStringLiteral("No, it moved the &other way"), this);
  no_move_button = new QPushButton(QStringLiteral("It did &not move"), this);
  yes_button->setObjectName(QStringLiteral("AnswerYes"));
  other_way_button->setObjectName(QStringLiteral("AnswerOtherWay"));
  no_move_button->setObjectName(QStringLiteral("AnswerNoMove"));
  for (QPushButton* b : {yes_button, other_way_button, no_move_button}) {
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  layout->addLayout(row);
  close_button = new QPushButton(QStringLiteral("Cancel"), this);
  close_button->setObjectName(QStringLiteral("CloseTest"));
  close_button->setAutoDefault(false);
  layout->addWidget(close_button, 0, Qt::AlignRight);

  connect(yes_button, &QPushButton::clicked, this, [this] { Answer(DirectionAnswer::Yes); });
  connect(other_way_button, &QPushButton::clicked, this,
          [this] { Answer(DirectionAnswer::OtherWay); });
  connect(no_move_button, &QPushButton::clicked, this, [this] { Answer(DirectionAnswer::NoMove); });
  connect(close_button, &QPushButton::clicked, this, [this] {
    if (verdict_ && verdict_->passed) {
      accept();
    } else {
      reject();
    }
  });
  PlayStep();
}

void DirectionTestDialog::PlayStep() {
  if (!run_.Play(kDirectionSteps[step_], settings_)) {
    question->setText(QStringLiteral("The stick refused the test's spring."));
    for (QPushButton* b : {yes_button, other_way_button, no_move_button}) b->setEnabled(false);
    return;
  }
  question->setText(QString::fromStdString(DirectionQuestion(kDirectionSteps[step_])));
  setWindowTitle(QStringLiteral("Force feedback directions: %1 of 4").arg(step_ + 1));
}

void DirectionTestDialog::Answer(DirectionAnswer answer) {
  if (verdict_ || step_ >= answers_.size()) return;
  answers_[step_++] = answer;
  if (step_ < answers_.size()) {
    PlayStep();
    return;
  }
  run_.Stop();
  verdict_ = JudgeDirections(answers_);
  question->setText(QString::fromStdString(verdict_->message));
  setWindowTitle(QStringLiteral("Force feedback directions: done"));
  for (QPushButton* b : {yes_button, other_way_button, no_move_button}) b->setEnabled(false);
  close_button->setText(QStringLiteral("Close"));
}

void DirectionTestDialog::done(int result) {
  run_.Stop();  // cancelled, closed or finished: nothing keeps playing
  QDialog::done(result);
}

void RunDirectionTestFlow(Engine& engine, QWidget* parent, MessageSink& messages) {
  std::string why;
  HapticPort* port = engine.BeginDirectionTest(why);
  if (!port) {
    messages.ShowMessage(MessageKind::Error, why);
    return;
  }
  std::optional<DirectionVerdict> verdict;
  {
    DirectionTestDialog dialog(engine.Effects(), engine.Record(), parent);
    dialog.exec();
    verdict = dialog.Verdict();
  }  // the test's spring is gone with the dialog
  if (auto problem = engine.EndDirectionTest(verdict)) {
    messages.ShowMessage(MessageKind::Error, *problem);
  }
}

}  // namespace kestrane
