#include "play_answers.h"

namespace edition07 {
namespace {

station::ReviewSpec Spec() {
  station::ReviewSpec s;
  s.answers = {{1, QRect(24, 96, 480, 22), false},
               {4, QRect(24, 190, 480, 22), false},
               {5, QRect(24, 218, 480, 22), false},
               {6, QRect(24, 246, 480, 22), false}};
  s.play2_1Caption = QString::fromUtf8("Прослушать ответ на задание № 2");
  s.play2_1Suffix = "_2.ogg";
  s.play2_2Caption = QString::fromUtf8("Прослушать ответ на задание № 3");
  s.play2_2Suffix = "_3.ogg";
  s.wayBackCaption = QString::fromUtf8("Вернуться к выполнению заданий 4-6");
  s.wayBackScreen = 40;
  // The step caption, seconds and gauge keep what the last task left.
  s.clearsStepOnStart = false;
  return s;
}

}  // namespace

TfrmPlayAnswers::TfrmPlayAnswers(TfrmMain &main) : TAnswerReview(main, Spec()) {}

}  // namespace edition07
