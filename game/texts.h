// Every text the player sees outside the resource script, in UTF-8. Some look alike on
// purpose: the score box has three different wordings, and the two game-over texts differ
// by the exclamation mark that marks a landing made with the Down key.
#ifndef SMORVALA_TEXTS_H
#define SMORVALA_TEXTS_H

namespace text {
constexpr const char* kWindowTitle = "SMorvala";
constexpr const char* kWindowCreationFailed = "创建窗口出错";

constexpr const char* kStart = "开始";
constexpr const char* kRestart = "重新开始";
constexpr const char* kPause = "暂停";
constexpr const char* kContinue = "继续";
constexpr const char* kExit = "退出";

constexpr const char* kFirstLevel = "第 0 关";
constexpr const char* kFirstScore = "分数: 0";
constexpr const char* kScoreAfterRestart = "分数：0";
constexpr const char* kScorePrefix = "得分: ";  // followed by the score

constexpr const char* kQuestionCaption = "询问";
constexpr const char* kRestartQuestion = "重新开始游戏吗？";
constexpr const char* kExitQuestion = "确定退出游戏吗？";

constexpr const char* kGameOverCaption = "";
constexpr const char* kGameOverByTimer = "游戏结束";
constexpr const char* kGameOverByDownKey = "游戏结束!";
}  // namespace text

#endif
